// The simulator's diagnostics: one stamped line per call on stderr.
#pragma once

#include <string>
#include <string_view>

// Safe from any thread. Lines read "qenbox-sim[<pid>] <epoch seconds.ms> <text>".
void SimLog(const std::string& text);

// Bytes as a readable quoted text: printable ASCII as is (quotes too), the
// rest and the backslash as \xNN,
// cut after limit bytes with "..." appended.
std::string QuoteBytes(std::string_view bytes, size_t limit = 80);
