#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/LastError.h"
#include "platform/Utf.h"

namespace platform {

namespace {

std::string ToNative(const std::u16string& path) { return Utf16ToUtf8(path); }

void SetErrnoError() { SetLastError(static_cast<uint32_t>(errno)); }

bool RefuseEmpty(const std::u16string& path) {
  if (path.empty()) {
    SetLastError(ENOENT);
    return true;
  }
  return false;
}

}  // namespace

bool PathFileExists(const std::u16string& path) {
  if (path.empty()) {
    return false;
  }
  struct stat info {};
  return stat(ToNative(path).c_str(), &info) == 0;
}

bool IsDirectory(const std::u16string& path) {
  if (path.empty()) {
    return false;
  }
  struct stat info {};
  return stat(ToNative(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool GetFileSize(const std::u16string& path, uint64_t& size) {
  size = 0;
  struct stat info {};
  if (RefuseEmpty(path)) {
    return false;
  }
  if (stat(ToNative(path).c_str(), &info) != 0) {
    SetErrnoError();
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    return false;
  }
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool CreateDirectory(const std::u16string& path) {
  if (RefuseEmpty(path)) {
    return false;
  }
  if (mkdir(ToNative(path).c_str(), 0777) != 0) {
    SetErrnoError();
    return false;
  }
  return true;
}

bool DeleteFile(const std::u16string& path) {
  if (RefuseEmpty(path)) {
    return false;
  }
  if (unlink(ToNative(path).c_str()) != 0) {
    SetErrnoError();
    return false;
  }
  return true;
}

std::u16string GetLongPathName(const std::u16string& path) {
  if (RefuseEmpty(path)) {
    return {};
  }
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(ToNative(path).c_str(), nullptr),
                                                       &std::free);
  if (!resolved) {
    SetErrnoError();
    return {};
  }
  return Utf8ToUtf16(resolved.get());
}

}  // namespace platform
