// Code-page conversion, the UTF-16 test and the charset-name lookup, on ICU.
// Code pages are the Windows numeric ids the rest of the program speaks
// (0 = the ANSI code page of GetACP, 65001 = UTF-8, 936 = GBK, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

constexpr uint32_t CP_ACP = 0;
constexpr uint32_t CP_UTF8 = 65001;

// Flag of MultiByteToWideChar: invalid or unmapped bytes fail the call.
constexpr uint32_t MB_ERR_INVALID_CHARS = 0x08;
// Flag of WideCharToMultiByte: unpaired surrogates or unmapped characters fail the call.
constexpr uint32_t WC_ERR_INVALID_CHARS = 0x80;

// Decodes all the bytes (zero bytes included). Without MB_ERR_INVALID_CHARS
// every bad sequence becomes U+FFFD. On failure returns false, leaves out
// untouched and sets the last error: ERROR_NO_UNICODE_TRANSLATION (1113) for
// bad bytes under MB_ERR_INVALID_CHARS, EINVAL for a code page we cannot convert.
bool MultiByteToWideChar(uint32_t codePage, uint32_t flags, std::string_view bytes,
                         std::u16string& out);
// Encodes the text. Without WC_ERR_INVALID_CHARS unencodable characters become
// the code page's substitute (U+FFFD's bytes for UTF-8). Failures as above.
bool WideCharToMultiByte(uint32_t codePage, uint32_t flags, std::u16string_view text,
                         std::string& out);

// True when the bytes look like UTF-16 little-endian text without a byte order
// mark: an even count, no byte-swapped or non-character units, and zero bytes
// mostly in the high (odd) byte of the units.
bool IsTextUnicode(const void* bytes, size_t count);

// Windows code page of a charset name ("gb2312" -> 936, "utf-8" -> 65001),
// found through ICU's alias table; 0 when the name is unknown.
uint32_t CharsetToWindowsCodePage(std::string_view name);

// The ICU converter name used for a code page (0 resolves to GetACP());
// empty when the code page has none.
std::string CodePageConverterName(uint32_t codePage);

}  // namespace platform
