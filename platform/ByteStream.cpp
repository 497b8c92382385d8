#include "platform/ByteStream.h"

#include <algorithm>
#include <cstring>

size_t CByteStream::Write(const void* data, size_t count) {
  if (m_limit != 0 && m_pos + count > m_limit)
    count = m_pos < m_limit ? m_limit - m_pos : 0;
  if (count == 0)
    return 0;
  if (m_pos + count > m_data.size())
    m_data.resize(m_pos + count);
  std::memcpy(m_data.data() + m_pos, data, count);
  m_pos += count;
  return count;
}

size_t CByteStream::Read(void* data, size_t count) {
  size_t n = std::min(count, m_data.size() - std::min(m_pos, m_data.size()));
  if (n != 0)
    std::memcpy(data, m_data.data() + m_pos, n);
  m_pos += n;
  return n;
}

bool CByteStream::Seek(size_t position) {
  if (position > m_data.size())
    return false;
  m_pos = position;
  return true;
}
