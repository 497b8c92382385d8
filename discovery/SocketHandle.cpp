#include "discovery/SocketHandle.h"

#include <unistd.h>

CSocketHandle& CSocketHandle::operator=(CSocketHandle&& other) noexcept {
  if (this != &other) {
    Close();
    m_nFd = other.Release();
  }
  return *this;
}

int CSocketHandle::Release() noexcept {
  const int fd = m_nFd;
  m_nFd = -1;
  return fd;
}

void CSocketHandle::Close() noexcept {
  if (m_nFd >= 0) {
    ::close(m_nFd);
    m_nFd = -1;
  }
}
