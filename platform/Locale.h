// The user's locale as the rest of the program asks for it: a language id,
// the ANSI code page and the ICU locale name for date and time texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Language id from LC_ALL, then LC_MESSAGES, then LANG (first one set and not
// empty): zh_CN/zh_SG -> 2052, zh_TW -> 1028, zh_HK -> 3076, en_* -> 1033,
// anything else or unset -> 1033.
uint32_t GetUserDefaultLCID();
uint32_t LcidFromLocaleName(std::string_view name);
// Test seam: a nonzero id replaces the environment's answer; 0 restores it.
void SetUserDefaultLCIDForTest(uint32_t lcid);

// The per-user "LCID" setting has no home on Linux: always false.
bool ReadUserLcidSetting(const std::u16string& keyName, uint32_t& value);

// ANSI code page of the process, from nl_langinfo(CODESET):
// UTF-8 -> 65001, GBK/GB18030/GB2312 -> 936, ISO-8859-1 -> 1252, ...
uint32_t GetACP();
uint32_t CodePageFromCodeset(std::string_view codeset);
// Test seam: a nonzero code page replaces the locale's answer; 0 restores it.
void SetACPForTest(uint32_t codePage);

// ICU locale id of the user's locale for date/time formats ("en_US", "zh_CN").
std::string GetUserLocaleName();

}  // namespace platform
