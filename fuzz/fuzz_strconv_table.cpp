// The substitution table reader over any file bytes. The text it works on is a
// fixed sample followed by the file's own units, so rules meet their characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "global/TextCodec.h"

namespace {

// Far below the program's limit, so chains of rules reach it in microseconds.
constexpr size_t kMaxUnits = 8 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = u"admin 192.168.1.20 p@ss%20w\u00f6rd \u4e2d\u6587 \U0001F600";
  for (size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const size_t before = text.size();
  ApplyStrconvTableData(data, size, text, kMaxUnits);
  fuzz::Check(text.size() <= std::max(before, kMaxUnits), "rules grew the text past the limit");
  return 0;
}
