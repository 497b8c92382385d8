// The set-ip exchange: one url-encoded POST to the box's management console
// and its JSON answer.
#pragma once

#include <cstdint>
#include <string>

struct CONFIG_IP_DATA {
  std::u16string strBoxIP;
  std::u16string strUserName;
  std::u16string strPassword;
  std::u16string strIP;
  std::u16string strSubnetMask;
  std::u16string strGateway;  // may be empty: then no gateway field is sent
};

constexpr char16_t kSetIpPath[] = u"/manage_console/set-ip";

// True when the box answered return_code 200. nReturnCode and strMessage are
// written as the exchange gets that far: the box's code and message, or only a
// message of ours when the exchange failed before.
// The box answers on port 80; tools and tests that play it elsewhere on
// 127.0.0.1 say where (0 restores 80).
void SetConfigIPPort(uint16_t port);

bool ExecuteConfigIPCore(CONFIG_IP_DATA data, int32_t& nReturnCode, std::u16string& strMessage);
// The exchange's checks of the decoded reply text: its JSON, return_code and
// return_message, with the same results, outputs and log line.
bool CheckConfigIPReply(const std::u16string& strText, int32_t& nReturnCode, std::u16string& strMessage);
