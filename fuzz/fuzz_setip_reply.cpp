// The set-ip reply after it has arrived: the header block up to the first blank
// line and the body after it go through the reply decoders and the exchange's
// JSON checks, as ExecuteConfigIPCore runs them. Without a blank line the whole
// input is a JSON body. The ANSI code page comes from the last byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzInput.h"
#include "global/TextUtils.h"
#include "http/ConfigIP.h"
#include "http/QenHttpServer.h"
#include "platform/ByteStream.h"
#include "platform/Internet.h"

namespace {

constexpr int32_t kUntouched = -7;

bool IsOurFailure(const std::u16string& message, const std::u16string& text) {
  for (const char16_t* format :
       {u"Can't parse response: %1", u"Return code is not integer: %1", u"Return message is not string: %1"}) {
    if (message == FormatText(format, text))
      return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TakeAnsiCodePage(size, data);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::u16string headers = u"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";
  std::string_view body = input;
  const size_t blank = input.find("\r\n\r\n");
  if (blank != std::string_view::npos) {
    // The internet layer keeps at most one buffer of header bytes, cut at a zero.
    const size_t kept = std::min<size_t>(blank + 4, platform::kMaxRawHeaderBytes / 2 - 1);
    headers = fuzz::Latin1Text(data, kept);
    headers.erase(std::min(headers.find(u'\0'), headers.size()));
    body = input.substr(blank + 4);
  }
  // The engine fails the request at status 400 and above: no text to check.
  int32_t status = 200;
  GetStatusCode(headers, status);
  if (status >= 400)
    return 0;

  CByteStream stream;
  stream.SetLimit(kMaxReplyBodyBytes);
  stream.Write(body.data(), body.size());
  std::u16string text;
  fuzz::Check(DecodeReplyBody(headers, u"", stream, text), "reply body not decoded");

  int32_t code = kUntouched;
  std::u16string message;
  const bool accepted = CheckConfigIPReply(text, code, message);
  if (accepted)
    fuzz::Check(code == 200, "accepted without return_code 200");
  // Without the box's code the message is ours and carries the whole reply
  // (a box may send our marker itself: then a second marker tells).
  if (code == kUntouched && !IsOurFailure(message, text)) {
    int32_t other = kUntouched + 1;
    CheckConfigIPReply(text, other, message);
    fuzz::Check(other != kUntouched + 1, "failure without our message");
  }
  return 0;
}
