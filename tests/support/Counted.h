#pragma once

#include <atomic>

namespace tests {

// Counts live copies, so a test can see that an action's arguments are gone.
struct Counted {
  inline static std::atomic<int> s_nLive{0};
  Counted() { ++s_nLive; }
  Counted(const Counted&) { ++s_nLive; }
  ~Counted() { --s_nLive; }
};

}  // namespace tests
