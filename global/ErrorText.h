// Error codes as text.
#pragma once

#include <cstdint>
#include <string>

// System message text (ending in CR LF), or "GetLastError()=<code>" when none.
std::u16string GetErrorText(uint32_t code);
// Empty when the thread's last error is 0, else GetErrorText of it.
std::u16string GetLastErrorText();
