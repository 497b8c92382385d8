// The discovery reply handler with any datagram. The sender is 192.168.1.20
// unless the input starts with "@": then the text up to the first line feed is.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/DiscoveryLog.h"
#include "discovery/FindEvents.h"
#include "discovery/UdpBroadcastProbe.h"
#include "fuzz/FuzzInput.h"
#include "global/QenGlobal.h"
#include "platform/Utf.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A log line costs several handler runs (open, lock, time stamp, close): every
  // 32nd line still goes to the log file next to the binary, the others are dropped.
  SetDiscoveryLogSink([](std::u16string_view text) {
    static unsigned lines = 0;
    if (++lines % 32 == 0)
      QenGlobal().WriteLog(text, 0);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string sender = "192.168.1.20";
  if (!bytes.empty() && bytes[0] == '@') {
    const size_t end = bytes.find('\n');
    if (end != std::string::npos && end <= 64) {
      sender = bytes.substr(1, end - 1);
      bytes.erase(0, end + 1);
    }
  }
  // The probe hands over at most one receive buffer, cut at the first NUL.
  bytes.resize(std::min(bytes.size(), kQenBoxReplyBufferSize));
  const std::string reply(bytes.c_str());

  CEvents events;
  const bool goOn = events.OnReply("192.168.1.255", sender, reply);
  const bool filled = !events.m_strIPAddress.empty();
  // A reply that is passed over leaves nothing behind.
  if (goOn)
    fuzz::Check(!filled && events.m_strIPType.empty(), "ignored reply left a result");
  if (filled) {
    // The address later becomes a URL host: only dotted-decimal IPv4 is kept.
    const std::string ip = platform::Utf16ToUtf8(events.m_strIPAddress);
    in_addr parsed{};
    fuzz::Check(ip.find('\0') == std::string::npos && inet_pton(AF_INET, ip.c_str(), &parsed) == 1,
                "kept address is not IPv4");
  }
  return 0;
}
