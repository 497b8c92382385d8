// qenbox-setip: gives a QenBox a static IPv4 configuration from the command
// line, with the same exchange the window runs.
//
//   qenbox-setip --box IP --user U --password P --ip IP --netmask MASK
//                [--gateway GW] [--json] [--port N]
//
// Prints the return code and the message on one line each (or, with --json,
// {"ok":...,"return_code":...,"message":...}). Exit status: 0 the box accepted,
// 1 it refused or the exchange failed, 2 bad usage. "--password -" reads the
// password from the first line of standard input, so it stays out of ps.
#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>

#include "http/ConfigIP.h"
#include "platform/Utf.h"

namespace {

const char kUsage[] =
    "usage: qenbox-setip --box IP --user U --password P --ip IP --netmask MASK\n"
    "                    [--gateway GW] [--json] [--port N]\n"
    "  --password -   read the password from the first line of standard input\n"
    "  --port N       the box's HTTP port (default 80)\n"
    "exit status: 0 accepted, 1 refused or failed, 2 bad usage\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "qenbox-setip: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> values;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--json") {
      json = true;
      continue;
    }
    static const char* const kValued[] = {"--box", "--user", "--password", "--ip", "--netmask", "--gateway", "--port"};
    bool known = false;
    for (const char* name : kValued)
      known = known || arg == name;
    if (!known)
      return Usage("unknown option " + arg);
    if (i + 1 >= argc)
      return Usage(arg + " needs a value");
    if (values.count(arg) != 0)
      return Usage(arg + " given twice");
    values[arg] = argv[++i];
  }
  for (const char* name : {"--box", "--user", "--password", "--ip", "--netmask"}) {
    if (values.count(name) == 0)
      return Usage(std::string(name) + " is missing");
  }
  if (values["--password"] == "-") {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    values["--password"] = line;
  }
  if (values.count("--port") != 0) {
    char* end = nullptr;
    long port = std::strtol(values["--port"].c_str(), &end, 10);
    if (values["--port"].empty() || *end != '\0' || port < 1 || port > 65535)
      return Usage("bad port " + values["--port"]);
    SetConfigIPPort(static_cast<uint16_t>(port));
  }

  CONFIG_IP_DATA data;
  data.strBoxIP = platform::Utf8ToUtf16(values["--box"]);
  data.strUserName = platform::Utf8ToUtf16(values["--user"]);
  data.strPassword = platform::Utf8ToUtf16(values["--password"]);
  data.strIP = platform::Utf8ToUtf16(values["--ip"]);
  data.strSubnetMask = platform::Utf8ToUtf16(values["--netmask"]);
  data.strGateway = platform::Utf8ToUtf16(values["--gateway"]);

  int32_t code = 0;
  std::u16string message;
  bool ok = ExecuteConfigIPCore(data, code, message);
  std::string text = platform::Utf16ToUtf8(message);
  if (json) {
    Json::Value out(Json::objectValue);
    out["ok"] = ok;
    out["return_code"] = code;
    out["message"] = text;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    std::cout << Json::writeString(builder, out) << "\n";
  } else {
    // One line each, whatever the box put in its message.
    for (char& c : text) {
      if (c == '\r' || c == '\n')
        c = ' ';
    }
    std::cout << code << "\n" << text << "\n";
  }
  return ok ? 0 : 1;
}
