// Turns the fuzzer's bytes into the texts our parsers take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Locale.h"
#include "platform/Utf.h"

namespace fuzz {

// A broken promise of the code under test: libFuzzer reports the abort as a crash.
inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// The last byte picks the ANSI code page from those users' systems have, so the
// fall-back decodings run under single-byte and double-byte code pages alike.
inline void TakeAnsiCodePage(size_t& size, const uint8_t* data) {
  static const uint32_t kPages[] = {65001, 1252, 936, 950, 932, 949, 1251, 874};
  uint32_t page = kPages[0];
  if (size > 0) {
    page = kPages[data[size - 1] % (sizeof kPages / sizeof kPages[0])];
    --size;
  }
  platform::SetACPForTest(page);
}

// FF FE first: the rest as UTF-16 little-endian units, so any unit (a lone
// surrogate, a zero) reaches the code; otherwise the bytes as UTF-8, which keeps
// text seeds and dictionary words readable.
inline std::u16string WideText(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    std::u16string text;
    text.reserve((size - 2) / 2);
    for (size_t i = 2; i + 1 < size; i += 2)
      text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return text;
  }
  return platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Each byte one unit, as the internet layer hands the raw header block over.
inline std::u16string Latin1Text(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i)
    text += static_cast<char16_t>(data[i]);
  return text;
}

}  // namespace fuzz
