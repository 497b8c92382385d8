// An auto-reset event: Set wakes one waiter (or the next one to wait), and a
// successful Wait consumes the signal.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// Wait without a time limit.
constexpr uint32_t INFINITE = 0xFFFFFFFFu;

class Event {
public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // true when the event was signalled within ms milliseconds (INFINITE: no
  // limit); the signal is then reset. false on time-out.
  bool Wait(uint32_t ms);
  void Set();

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bSignalled = false;
};

}  // namespace platform
