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
  uint16_t nReplyFromPort = 0;     // answer from this local port (0: the listening socket's)
  std::string strAlsoBox;          // a second box at this local address answers just before
  // HTTP side.
  uint16_t nHttpPort = 80;         // 0: no HTTP side
  std::string strUser = "admin";
  std::string strPassword = "admin";
  int nRestartS = 3;               // not answering after an accepted set-ip
  int nHttpStatus = 0;             // set-ip answers with this status (0: 200)
  bool bHttpBody = false;          // set-ip answers with strHttpBody instead of its JSON
  std::string strHttpBody;
  std::string strHttpContentType;  // empty: application/json; charset=utf-8
  int nHttpDelayMs = 0;
  bool bHttpDrop = false;          // close the connection halfway through the body
  int nHttpSlowBodyMs = 0;         // send the body one byte at a time, this far apart
  bool bHttp407 = false;           // always demand proxy authentication
  size_t nHttpBodyBytes = 0;       // pad the set-ip body with blanks to this size
  size_t nHttpHeaderBytes = 0;     // add a header line this long
  bool bEchoForm = false;          // return_message holds the decoded form fields as JSON
};

enum class SimParseResult { kRun, kHelp, kError };

// Fills options from argv; on kError, error says why.
SimParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options,
                               std::string& error);
std::string SimUsage();
