// Owns one socket descriptor and closes it.
#pragma once

class CSocketHandle {
public:
  CSocketHandle() = default;
  explicit CSocketHandle(int fd) : m_nFd(fd) {}
  CSocketHandle(CSocketHandle&& other) noexcept : m_nFd(other.Release()) {}
  CSocketHandle& operator=(CSocketHandle&& other) noexcept;
  CSocketHandle(const CSocketHandle&) = delete;
  CSocketHandle& operator=(const CSocketHandle&) = delete;
  ~CSocketHandle() { Close(); }

  int Get() const { return m_nFd; }
  bool IsValid() const { return m_nFd >= 0; }
  int Release() noexcept;
  void Close() noexcept;

private:
  int m_nFd = -1;
};
