// Path parts, the executable and temporary folders, file size, byte order
// marks and folder chains. Paths use "/"; the root "/" plays the drive's role.
#pragma once

#include <cstdint>
#include <string>

// Folder with its final "/" ("/opt/q/x.exe" -> "/opt/q/").
std::u16string GetFileFolder(const std::u16string& path);
// Name and extension ("/opt/q/x.log" -> "x.log").
std::u16string GetFileNameWithExt(const std::u16string& path);
// Extension with its dot (".log"); empty when there is none.
std::u16string GetFileExt(const std::u16string& path);
// Canonical form when it can be had, else the path unchanged.
std::u16string GetLongPath(const std::u16string& path);
std::u16string GetExePath();
// Folder of the executable, ending in "/"; empty when unknown.
std::u16string GetExeFolder();
// Temporary folder ending in "/".
std::u16string GetTempFolder();
// 0 for a missing path or a folder.
uint64_t QueryFileSize(const std::u16string& path);
// 3: starts with FF FE; 2: starts with EF BB BF; 1: anything else (also <= 3 bytes).
int DetectFileBom(const std::u16string& path);
// Creates every missing folder of the path; true when all exist afterwards.
bool CreateFolders(const std::u16string& path);
