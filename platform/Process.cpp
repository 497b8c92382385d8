#include "platform/Process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/Utf.h"

namespace platform {

std::u16string GetModuleFileName() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      return {};
    }
    if (static_cast<size_t>(length) < buffer.size()) {
      return Utf8ToUtf16(std::string_view(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string GetTempPath() {
  const char* dir = std::getenv("TMPDIR");
  if (dir != nullptr && *dir != '\0') {
    return Utf8ToUtf16(dir);
  }
  return u"/tmp";
}

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t GetCurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

std::u16string GetCommandLine() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  if (!file) {
    return {};
  }
  std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  while (!raw.empty() && raw.back() == '\0') {
    raw.pop_back();
  }
  for (char& ch : raw) {
    if (ch == '\0') {
      ch = ' ';
    }
  }
  return Utf8ToUtf16(raw);
}

}  // namespace platform
