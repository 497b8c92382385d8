#include "tools/qenbox-sim/SimOptions.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

struct OptionRow {
  const char* name;
  const char* valueName;  // nullptr: a flag without a value
  const char* help;
  // Applies the value; false when it is not acceptable.
  std::function<bool(SimOptions&, const std::string&)> apply;
};

bool IsIpv4(const std::string& text) {
  in_addr parsed{};
  return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

bool ParseInt(const std::string& text, long min, long max, long& value) {
  if (text.empty()) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= min && value <= max;
}

bool ParseHex(const std::string& text, std::string& bytes) {
  if (text.size() % 2 != 0) {
    return false;
  }
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = text.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0' || pair[0] == '-' || pair[0] == '+' || pair[0] == ' ') {
      return false;
    }
    bytes += static_cast<char>(value);
  }
  return true;
}

// New options go here: one row each.
const std::vector<OptionRow>& OptionRows() {
  static const std::vector<OptionRow> rows = {
      {"--ip", "ADDR", "the address the box reports (default 192.0.2.20)",
       [](SimOptions& o, const std::string& v) { o.strIp = v; return IsIpv4(v); }},
      {"--netmask", "MASK", "the box's subnet mask (default 255.255.255.0)",
       [](SimOptions& o, const std::string& v) { o.strNetmask = v; return IsIpv4(v); }},
      {"--iptype", "TYPE", "the address type it reports, e.g. static or dhcp (default static)",
       [](SimOptions& o, const std::string& v) { o.strIpType = v; return !v.empty(); }},
      {"--udp-port", "PORT", "the discovery port (default 9269)",
       [](SimOptions& o, const std::string& v) {
         long port = 0;
         if (!ParseInt(v, 1, 65535, port)) {
           return false;
         }
         o.nUdpPort = static_cast<uint16_t>(port);
         return true;
       }},
      {"--reply-delay-ms", "MS", "wait this long before answering a probe",
       [](SimOptions& o, const std::string& v) {
         long ms = 0;
         if (!ParseInt(v, 0, 600000, ms)) {
           return false;
         }
         o.nReplyDelayMs = static_cast<int>(ms);
         return true;
       }},
      {"--silent", nullptr, "receive probes but never answer",
       [](SimOptions& o, const std::string&) { o.bSilent = true; return true; }},
      {"--reply-raw", "TEXT", "answer with these bytes instead of the JSON object",
       [](SimOptions& o, const std::string& v) {
         o.bRawReply = true;
         o.strRawReply = v;
         return true;
       }},
      {"--reply-raw-hex", "HEX", "the same, given as hex digits (allows NUL bytes)",
       [](SimOptions& o, const std::string& v) {
         o.bRawReply = true;
         return ParseHex(v, o.strRawReply);
       }},
      {"--reply-from", "ADDR", "answer from this local address instead (it must exist here)",
       [](SimOptions& o, const std::string& v) { o.strReplyFrom = v; return IsIpv4(v); }},
      {"--reply-from-port", "PORT", "answer from this local port instead of the discovery port",
       [](SimOptions& o, const std::string& v) {
         long port = 0;
         if (!ParseInt(v, 1, 65535, port)) {
           return false;
         }
         o.nReplyFromPort = static_cast<uint16_t>(port);
         return true;
       }},
      {"--also-box", "ADDR", "a second box at this local address answers every probe just before",
       [](SimOptions& o, const std::string& v) { o.strAlsoBox = v; return IsIpv4(v); }},
      {"--http-port", "PORT", "the HTTP port on the box's address (default 80; 0: no HTTP)",
       [](SimOptions& o, const std::string& v) {
         long port = 0;
         if (!ParseInt(v, 0, 65535, port)) {
           return false;
         }
         o.nHttpPort = static_cast<uint16_t>(port);
         return true;
       }},
      {"--user", "NAME", "the administrator's user name (default admin)",
       [](SimOptions& o, const std::string& v) { o.strUser = v; return true; }},
      {"--password", "TEXT", "the administrator's password (default admin)",
       [](SimOptions& o, const std::string& v) { o.strPassword = v; return true; }},
      {"--restart-s", "S", "seconds without answering after an accepted set-ip (default 3)",
       [](SimOptions& o, const std::string& v) {
         long s = 0;
         if (!ParseInt(v, 0, 600, s)) {
           return false;
         }
         o.nRestartS = static_cast<int>(s);
         return true;
       }},
      {"--http-status", "N", "answer set-ip with this HTTP status",
       [](SimOptions& o, const std::string& v) {
         long n = 0;
         if (!ParseInt(v, 100, 999, n)) {
           return false;
         }
         o.nHttpStatus = static_cast<int>(n);
         return true;
       }},
      {"--http-body", "TEXT", "answer set-ip with this body instead of its JSON",
       [](SimOptions& o, const std::string& v) {
         o.bHttpBody = true;
         o.strHttpBody = v;
         return true;
       }},
      {"--http-body-hex", "HEX", "the same, given as hex digits",
       [](SimOptions& o, const std::string& v) {
         o.bHttpBody = true;
         return ParseHex(v, o.strHttpBody);
       }},
      {"--http-content-type", "TEXT", "Content-Type of the set-ip answer",
       [](SimOptions& o, const std::string& v) { o.strHttpContentType = v; return true; }},
      {"--http-delay-ms", "MS", "wait this long before answering set-ip",
       [](SimOptions& o, const std::string& v) {
         long ms = 0;
         if (!ParseInt(v, 0, 600000, ms)) {
           return false;
         }
         o.nHttpDelayMs = static_cast<int>(ms);
         return true;
       }},
      {"--http-drop", nullptr, "close the connection halfway through the set-ip body",
       [](SimOptions& o, const std::string&) { o.bHttpDrop = true; return true; }},
      {"--http-slow-body", "MS", "send the set-ip body one byte at a time, each MS after the one before",
       [](SimOptions& o, const std::string& v) {
         long ms = 0;
         if (!ParseInt(v, 1, 600000, ms)) {
           return false;
         }
         o.nHttpSlowBodyMs = static_cast<int>(ms);
         return true;
       }},
      {"--http-407", nullptr, "answer set-ip with 407 proxy authentication required",
       [](SimOptions& o, const std::string&) { o.bHttp407 = true; return true; }},
      {"--http-body-bytes", "N", "pad the set-ip body with blanks to N bytes",
       [](SimOptions& o, const std::string& v) {
         long n = 0;
         if (!ParseInt(v, 0, 64L * 1024 * 1024, n)) {
           return false;
         }
         o.nHttpBodyBytes = static_cast<size_t>(n);
         return true;
       }},
      {"--http-header-bytes", "N", "add a header line of N bytes to the set-ip answer",
       [](SimOptions& o, const std::string& v) {
         long n = 0;
         if (!ParseInt(v, 0, 1024L * 1024, n)) {
           return false;
         }
         o.nHttpHeaderBytes = static_cast<size_t>(n);
         return true;
       }},
      {"--echo-form", nullptr, "put the decoded set-ip fields in return_message as JSON",
       [](SimOptions& o, const std::string&) { o.bEchoForm = true; return true; }},
  };
  return rows;
}

}  // namespace

SimParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& options,
                               std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      return SimParseResult::kHelp;
    }
    const OptionRow* row = nullptr;
    for (const OptionRow& candidate : OptionRows()) {
      if (arg == candidate.name) {
        row = &candidate;
        break;
      }
    }
    if (row == nullptr) {
      error = "unknown option " + arg;
      return SimParseResult::kError;
    }
    std::string value;
    if (row->valueName != nullptr) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return SimParseResult::kError;
      }
      value = argv[++i];
    }
    if (!row->apply(options, value)) {
      error = "bad value for " + arg + ": " + value;
      return SimParseResult::kError;
    }
  }
  return SimParseResult::kRun;
}

std::string SimUsage() {
  std::string text = "usage: qenbox-sim [options]\n"
                     "Plays a QenBox: answers \"find qenbox\" on UDP with its address and\n"
                     "takes set-ip on HTTP, restarting under the new address.\n";
  for (const OptionRow& row : OptionRows()) {
    std::string left = std::string("  ") + row.name;
    if (row.valueName != nullptr) {
      left += std::string(" ") + row.valueName;
    }
    left.resize(left.size() < 26 ? 26 : left.size() + 1, ' ');
    text += left + row.help + "\n";
  }
  return text;
}
