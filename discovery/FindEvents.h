// The find procedure's reply handler: reads the box's JSON reply.
#pragma once

#include <string>

#include "discovery/UdpClientEvents.h"

class CEvents final : public CUdpClientEvents {
public:
  // Takes the first reply that parses to a JSON object, keeping "ip" and
  // "iptype"; ignores replies that are not a JSON object, that the JSON reader
  // throws on, or whose "ip" is not a dotted-decimal IPv4 address.
  bool OnReply(const std::string& broadcast, const std::string& sender,
               const std::string& reply) override;

  std::u16string m_strIPAddress;
  std::u16string m_strIPType;
};
