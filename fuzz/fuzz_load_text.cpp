// The general text decoder over any bytes: marks, the UTF-16 test, line ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "global/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TakeAnsiCodePage(size, data);
  std::u16string text;
  fuzz::Check(LoadTextFromBuffer(data, size, text), "LoadTextFromBuffer failed");
  // Line ends come out as LF alone and zero units are dropped, in either form.
  fuzz::Check(text.find(u'\r') == std::u16string::npos, "CR left in the text");
  fuzz::Check(text.find(u'\0') == std::u16string::npos, "zero unit in the text");
  return 0;
}
