// UTF-8 <-> UTF-16 at the edges of the program (files, GTK, curl, argv).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Invalid input sequences become U+FFFD; never fails.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform
