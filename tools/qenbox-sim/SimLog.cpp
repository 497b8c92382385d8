#include "tools/qenbox-sim/SimLog.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>

void SimLog(const std::string& text) {
  static std::mutex mutex;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(stderr, "qenbox-sim[%d] %lld.%03lld %s\n", static_cast<int>(getpid()), ms / 1000,
               ms % 1000, text.c_str());
  std::fflush(stderr);
}

std::string QuoteBytes(std::string_view bytes, size_t limit) {
  std::string out = "\"";
  const size_t shown = bytes.size() < limit ? bytes.size() : limit;
  for (size_t i = 0; i < shown; ++i) {
    const unsigned char ch = static_cast<unsigned char>(bytes[i]);
    if (ch >= 0x20 && ch < 0x7F && ch != '\\') {
      out += static_cast<char>(ch);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", ch);
      out += escaped;
    }
  }
  out += "\"";
  if (shown < bytes.size()) {
    out += "...";
  }
  return out;
}
