#include "platform/Utf.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <climits>

namespace platform {

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX)) {
    return {};
  }
  const int32_t srcLength = static_cast<int32_t>(text.size());
  // One UTF-8 unit never gives more than one UTF-16 unit.
  std::u16string result(text.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                       srcLength, kReplacement, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    return {};
  }
  result.resize(static_cast<size_t>(length));
  return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT32_MAX / 3)) {
    return {};
  }
  const int32_t srcLength = static_cast<int32_t>(text.size());
  // One UTF-16 unit gives at most three UTF-8 units (a lone surrogate becomes U+FFFD).
  std::string result(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                     srcLength, kReplacement, nullptr, &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
    return {};
  }
  result.resize(static_cast<size_t>(length));
  return result;
}

}  // namespace platform
