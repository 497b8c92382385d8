// Process-level facts: module path, temp folder, ids, command line.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Path of the running executable (/proc/self/exe); empty on failure.
std::u16string GetModuleFileName();
// $TMPDIR when set and not empty, else "/tmp"; no trailing separator added.
std::u16string GetTempPath();
uint32_t GetCurrentProcessId();
// The kernel thread id (gettid), as the log lines show it.
uint32_t GetCurrentThreadId();
// argv of this process joined by single blanks (/proc/self/cmdline); empty when unreadable.
std::u16string GetCommandLine();

}  // namespace platform
