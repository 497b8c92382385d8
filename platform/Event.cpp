#include "platform/Event.h"

#include <chrono>

namespace platform {

bool Event::Wait(uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (ms == INFINITE) {
    m_cv.wait(lock, [this] { return m_bSignalled; });
  } else {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!m_cv.wait_until(lock, deadline, [this] { return m_bSignalled; }))
      return false;
  }
  m_bSignalled = false;
  return true;
}

void Event::Set() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bSignalled = true;
  // Notify under the lock: a waiter that returns may destroy the event at once.
  m_cv.notify_one();
}

}  // namespace platform
