#include "app/IpAddressCheck.h"

#include <limits>
#include <string>
#include <vector>

#include "global/TextUtils.h"

int32_t WideTextToInt(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsWideSpace(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // One past the 32-bit limit is enough to know the value saturates.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit)
      value = kLimit;
  }
  if (negative)
    return value >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-value);
  return value >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

bool IsValidIPAddress(std::u16string_view text) {
  std::vector<std::u16string> parts;
  SplitText(TrimText(text), u'.', parts);
  if (parts.size() != 4)
    return false;
  for (const std::u16string& part : parts) {
    const int32_t value = WideTextToInt(part);
    // The round trip rejects signs, leading zeros, blanks and trailing junk.
    if (value < 0 || value > 255 || IntToText(value) != part)
      return false;
  }
  return true;
}
