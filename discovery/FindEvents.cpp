#include "discovery/FindEvents.h"

#include <arpa/inet.h>
#include <json/json.h>

#include "discovery/DiscoveryLog.h"
#include "global/TextCodec.h"
#include "global/TextUtils.h"

namespace {

// Four decimal parts 0-255 and nothing else; the text later becomes a URL host.
bool IsDottedIpv4(const std::string& text) {
  if (text.find('\0') != std::string::npos) {
    return false;
  }
  in_addr parsed{};
  return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace

bool CEvents::OnReply(const std::string& /*broadcast*/, const std::string& sender,
                      const std::string& reply) {
  Json::Value root;
  try {
    // Json::Reader with its default features; newer jsoncpp marks it deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::Reader reader;
    reader.parse(reply, root);  // only the root's type decides, not the result
#pragma GCC diagnostic pop
  } catch (...) {
    // The reader throws on some hostile texts (e.g. nesting past its limit).
    WriteDiscoveryLog(MultiByteToText(0, reply));
    return true;
  }
  // A null root (not JSON) or a number, text or array root: not a box's reply.
  if (!root.isObject()) {
    return true;
  }

  const Json::Value& ip = root["ip"];
  const Json::Value& ipType = root["iptype"];
  if (!ip.isString()) {
    WriteDiscoveryLog(MultiByteToText(0, reply));
    WriteDiscoveryLog(u"no ip field");
    return false;
  }
  if (!ipType.isString()) {
    WriteDiscoveryLog(MultiByteToText(0, reply));
    WriteDiscoveryLog(u"no iptype field");
    return false;
  }
  const std::string ipText = ip.asString();
  if (!IsDottedIpv4(ipText)) {
    WriteDiscoveryLog(MultiByteToText(0, reply));
    WriteDiscoveryLog(u"ip field is not an IPv4 address");
    return true;
  }

  const std::u16string strIP = MultiByteToText(0, ipText);
  const std::u16string strSender = MultiByteToText(0, sender);
  if (strIP != strSender) {
    WriteDiscoveryLog(FormatText(u"address is not match: %1, %2", strSender, strIP));
  }
  m_strIPAddress = strIP;
  m_strIPType = MultiByteToText(0, ipType.asString());
  return false;
}
