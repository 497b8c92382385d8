#include "platform/gui/TestTrace.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

FILE* TraceFile() {
  static FILE* s_pFile = [] {
    const char* path = std::getenv("QENBOX_TEST_TRACE");
    return path != nullptr && *path != '\0' ? std::fopen(path, "a") : nullptr;
  }();
  return s_pFile;
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

bool TestTraceEnabled() { return TraceFile() != nullptr; }

void TestTrace(const char* kind, const std::string& detail) {
  FILE* pFile = TraceFile();
  if (pFile == nullptr)
    return;
  std::fprintf(pFile, "%lld\t%s\t%s\n", static_cast<long long>(g_get_real_time()), kind,
               Escape(detail).c_str());
  std::fflush(pFile);
}

void TestTrace(const char* kind, const std::string& field1, const std::string& field2) {
  FILE* pFile = TraceFile();
  if (pFile == nullptr)
    return;
  std::fprintf(pFile, "%lld\t%s\t%s\t%s\n", static_cast<long long>(g_get_real_time()), kind,
               Escape(field1).c_str(), Escape(field2).c_str());
  std::fflush(pFile);
}

}  // namespace platform
