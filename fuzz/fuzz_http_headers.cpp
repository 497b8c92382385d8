// The header readers over any raw header block, as the internet layer hands it
// over: the bytes as Latin-1 units, cut at the first zero and at its buffer size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "global/TextUtils.h"
#include "http/QenHttpServer.h"
#include "platform/Internet.h"

namespace {

constexpr int32_t kUntouched = -7;

bool Trimmed(const std::u16string& text) {
  return text.empty() || (!IsWideSpace(text.front()) && !IsWideSpace(text.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t kept = std::min<size_t>(size, platform::kMaxRawHeaderBytes / 2 - 1);
  std::u16string headers = fuzz::Latin1Text(data, kept);
  headers.erase(std::min(headers.find(u'\0'), headers.size()));

  int32_t code = kUntouched;
  if (!GetStatusCode(headers, code))
    fuzz::Check(code == kUntouched, "status code written without a status");

  int32_t length = kUntouched;
  if (GetContentLength(headers, length))
    fuzz::Check(length != 0, "zero length reported as a length");
  else
    fuzz::Check(length == kUntouched || length == 0, "length written without a length");

  for (const char16_t* name : {u"Content-Type", u"Content-Length", u"Server", u""}) {
    const std::u16string value = GetHeaderValue(headers, name);
    fuzz::Check(Trimmed(value), "header value not trimmed");
  }

  std::u16string type = u"untouched";
  std::u16string charset;
  const bool hasType = GetContentType(headers, type, charset);
  fuzz::Check(hasType == !GetHeaderValue(headers, u"Content-Type").empty(),
              "Content-Type found by one reader only");
  if (hasType)
    fuzz::Check(Trimmed(type) && Trimmed(charset), "type or charset not trimmed");
  return 0;
}
