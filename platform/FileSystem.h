// The few file-system calls the program makes, on UTF-16 paths.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

bool PathFileExists(const std::u16string& path);
bool IsDirectory(const std::u16string& path);
// Size of a regular file; false when it cannot be read.
bool GetFileSize(const std::u16string& path, uint64_t& size);
// One folder level; true when it was created.
bool CreateDirectory(const std::u16string& path);
bool DeleteFile(const std::u16string& path);
// The canonical absolute form (realpath); empty on failure.
std::u16string GetLongPathName(const std::u16string& path);

}  // namespace platform
