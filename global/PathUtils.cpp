#include "global/PathUtils.h"

#include <fstream>
#include <vector>

#include "global/TextUtils.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Utf.h"

namespace {

// Index just after the last "/" (the folder part), 0 when there is none.
size_t NameStart(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'/');
  return slash == std::u16string::npos ? 0 : slash + 1;
}

}  // namespace

std::u16string GetFileFolder(const std::u16string& path) { return path.substr(0, NameStart(path)); }

std::u16string GetFileNameWithExt(const std::u16string& path) {
  return path.substr(NameStart(path));
}

std::u16string GetFileExt(const std::u16string& path) {
  const size_t start = NameStart(path);
  const size_t dot = path.find_last_of(u'.');
  if (dot == std::u16string::npos || dot < start) {
    return {};
  }
  return path.substr(dot);
}

std::u16string GetLongPath(const std::u16string& path) {
  std::u16string longPath = platform::GetLongPathName(path);
  return longPath.empty() ? path : longPath;
}

std::u16string GetExePath() {
  const std::u16string module = platform::GetModuleFileName();
  if (module.empty()) {
    return {};
  }
  std::u16string result = platform::GetLongPathName(module);
  if (!result.empty() && result[0] >= u'a' && result[0] <= u'z') {
    result[0] = static_cast<char16_t>(result[0] - u'a' + u'A');
  }
  return result;
}

std::u16string GetExeFolder() { return GetFileFolder(GetExePath()); }

std::u16string GetTempFolder() {
  std::u16string folder = platform::GetTempPath();
  if (!folder.empty() && folder.back() != u'/') {
    folder += u'/';
  }
  return folder;
}

uint64_t QueryFileSize(const std::u16string& path) {
  if (!platform::PathFileExists(path) || platform::IsDirectory(path)) {
    return 0;
  }
  uint64_t size = 0;
  return platform::GetFileSize(path, size) ? size : 0;
}

int DetectFileBom(const std::u16string& path) {
  if (static_cast<uint32_t>(QueryFileSize(path)) <= 3) {
    return 1;
  }
  std::ifstream file(platform::Utf16ToUtf8(path), std::ios::binary);
  if (!file) {
    return 1;
  }
  unsigned char bytes[3] = {};
  file.read(reinterpret_cast<char*>(bytes), sizeof(bytes));
  if (file.gcount() < 2) {
    return 1;
  }
  if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
    return 3;
  }
  if (file.gcount() == 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return 2;
  }
  return 1;
}

bool CreateFolders(const std::u16string& path) {
  if (path.empty()) {
    return false;
  }
  if (platform::PathFileExists(path)) {
    return true;
  }
  std::vector<std::u16string> parts;
  SplitText(path, u'/', parts);
  // An absolute path starts at the root, which plays the drive's role and is
  // never created; a relative path starts with its first folder.
  std::u16string built = path[0] == u'/' ? u"/" : u"";
  for (const std::u16string& part : parts) {
    if (part.empty()) {
      continue;
    }
    built += part;
    built += u'/';
    // A folder made meanwhile by another process counts as created.
    if (!platform::IsDirectory(built) && !platform::CreateDirectory(built) &&
        !platform::IsDirectory(built)) {
      return false;
    }
  }
  return true;
}
