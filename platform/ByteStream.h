// A growable in-memory byte stream: written in pieces, read back whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CByteStream {
public:
  // Appends at the current position; returns the bytes taken (all of them,
  // unless the stream has a size limit and is full).
  size_t Write(const void* data, size_t count);
  // Reads up to count bytes from the current position.
  size_t Read(void* data, size_t count);
  bool Seek(size_t position);
  size_t Tell() const { return m_pos; }
  size_t Size() const { return m_data.size(); }
  const uint8_t* Data() const { return m_data.data(); }
  // 0 = no limit. Writes beyond the limit are refused.
  void SetLimit(size_t limit) { m_limit = limit; }

private:
  std::vector<uint8_t> m_data;
  size_t m_pos = 0;
  size_t m_limit = 0;
};
