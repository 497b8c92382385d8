// Storage for a process-wide object that is built on first use and never
// destroyed, so that threads still running while the process exits (a worker
// writing a log line after main returns) never meet a destroyed object.
#pragma once

#include <new>
#include <utility>

template <class T>
class NeverDestroyed {
public:
  template <class... Args>
  explicit NeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(m_storage)) T(std::forward<Args>(args)...);
  }
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;
  // No destructor on purpose: the object outlives every static destructor.

  T& Get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }

private:
  alignas(T) unsigned char m_storage[sizeof(T)];
};
