// Command-line options of the box simulator.
#pragma once

#include <cstdint>
#include <string>

struct SimOptions {
  // What the box says about itself.
  std::string strIp = "192.0.2.20";
  std::string strNetmask = "255.255.255.0";
  std::string strIpType = "static";
  // UDP side.
  uint16_t nUdpPort = 9269;
  int nReplyDelayMs = 0;
  bool bSilent = false;            // receive and log probes, never answer
  bool bRawReply = false;          // send strRawReply instead of the JSON object
  std::string strRawReply;
  std::string strReplyFrom;        // answer from this local address (empty: the listening socket)
};

enum class SimParseResult { kRun, kHelp, kError };

// Fills options from argv; on kError, error says why.
SimParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options,
                               std::string& error);
std::string SimUsage();
