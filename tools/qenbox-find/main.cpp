// qenbox-find [--sweeps N] [--json]: finds the QenBox as the window does and
// prints its address and address type.
// Exit status: 0 found, 1 nothing answered within the sweeps, 2 bad usage.
#include <json/json.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "discovery/FindQenBoxClient.h"
#include "platform/Utf.h"

namespace {

constexpr char kUsage[] =
    "usage: qenbox-find [--sweeps N] [--json]\n"
    "  --sweeps N  probe sweeps before giving up (default 10000; each sweep waits\n"
    "              up to 10 s per network that does not answer)\n"
    "  --json      print {\"ip\":...,\"iptype\":...} instead of \"ADDRESS TYPE\"\n"
    "Exit status: 0 found, 1 nothing answered, 2 bad usage.\n";

int BadUsage(const std::string& why) {
  std::fprintf(stderr, "qenbox-find: %s\n%s", why.c_str(), kUsage);
  return 2;
}

bool ParseSweeps(const char* text, int32_t& sweeps) {
  if (text == nullptr || *text < '0' || *text > '9') {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > INT32_MAX) {
    return false;
  }
  sweeps = static_cast<int32_t>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int32_t sweeps = kQenBoxMaxSweeps;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--sweeps") == 0) {
      if (i + 1 >= argc || !ParseSweeps(argv[i + 1], sweeps)) {
        return BadUsage("--sweeps needs a whole number from 1 to 2147483647");
      }
      ++i;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      return BadUsage(std::string("unknown argument ") + argv[i]);
    }
  }

  const QENBOXCLIENTDATA box = FindQenBoxClient(0, sweeps);
  // As the window, a result counts only with both fields filled.
  if (box.strIPAddress.empty() || box.strIPType.empty()) {
    std::fputs("qenbox-find: no QenBox answered\n", stderr);
    return 1;
  }
  const std::string ip = platform::Utf16ToUtf8(box.strIPAddress);
  const std::string ipType = platform::Utf16ToUtf8(box.strIPType);
  if (json) {
    Json::Value root(Json::objectValue);
    root["ip"] = ip;
    root["iptype"] = ipType;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    std::printf("%s\n", Json::writeString(writer, root).c_str());
  } else {
    std::printf("%s %s\n", ip.c_str(), ipType.c_str());
  }
  return 0;
}
