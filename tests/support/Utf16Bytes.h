#pragma once

#include <string>

namespace tests {

// Little-endian bytes of UTF-16 text, without a byte-order mark.
inline std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace tests
