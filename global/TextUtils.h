// Small text functions used all over the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The standard wide white-space classification (iswspace) on one UTF-16 unit.
bool IsWideSpace(char16_t ch);
// Copy without white space at both ends (IsWideSpace).
std::u16string TrimText(std::u16string_view text);
// ASCII-only case folding, for the case-insensitive comparisons of the protocol texts.
std::u16string ToLowerText(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);

// Appends the parts of text split at sep: one leading separator is skipped, two
// separators in a row give an empty part, a trailing separator gives no empty
// last part, and with sep == '\n' one trailing '\r' is dropped from each part.
bool SplitText(std::u16string_view text, char16_t sep, std::vector<std::u16string>& list);
// The texts joined by CR LF, none after the last.
std::u16string JoinLines(const std::vector<std::u16string>& list);
// Value of the first "key=value" line (trimmed, key compared without case).
std::u16string GetLineValue(const std::vector<std::u16string>& lines, std::u16string_view key);
std::u16string IntToText(int32_t value);
// Fills "%1".."%3" with p1..p3, "%4".."%9" with nothing, drops "%a";
// inserted text is never rescanned. A missing parameter counts as empty.
std::u16string FormatText(std::u16string_view format, std::u16string_view p1 = {},
                          std::u16string_view p2 = {}, std::u16string_view p3 = {});
