// The diagnostic log writer: one stamped UTF-16LE line per call.
#pragma once

#include <string>
#include <string_view>

// Appends one line for message to the log at path; never reports a failure.
void AppendLogLine(const std::u16string& path, std::u16string_view message);
