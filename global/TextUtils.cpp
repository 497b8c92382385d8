#include "global/TextUtils.h"

#include <string>

#include "platform/Utf.h"

bool IsWideSpace(char16_t ch) {
  // ICU's u_isspace set: ASCII 9-13 and 28-32, NEL and the Unicode space,
  // line and paragraph separators (no-break spaces included). A fixed table
  // keeps trimming independent of the process locale.
  switch (ch) {
    case 0x0009: case 0x000A: case 0x000B: case 0x000C: case 0x000D:
    case 0x001C: case 0x001D: case 0x001E: case 0x001F:
    case 0x0020: case 0x0085: case 0x00A0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return ch >= 0x2000 && ch <= 0x200A;
  }
}

std::u16string TrimText(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsWideSpace(text[begin])) {
    ++begin;
  }
  while (end > begin && IsWideSpace(text[end - 1])) {
    --end;
  }
  return std::u16string(text.substr(begin, end - begin));
}

namespace {

char16_t LowerAscii(char16_t ch) {
  return (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch - u'A' + u'a') : ch;
}

}  // namespace

std::u16string ToLowerText(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& ch : result) {
    ch = LowerAscii(ch);
  }
  return result;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) {
      return false;
    }
  }
  return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool SplitText(std::u16string_view text, char16_t sep, std::vector<std::u16string>& list) {
  if (text.empty()) {
    return true;
  }
  size_t pos = (text[0] == sep) ? 1 : 0;
  // At least one part: a text that is only the separator gives one empty part.
  do {
    const size_t next = text.find(sep, pos);
    std::u16string_view part;
    if (next == std::u16string_view::npos) {
      part = text.substr(pos);
      pos = text.size();
    } else {
      part = text.substr(pos, next - pos);
      pos = next + 1;
    }
    if (sep == u'\n' && !part.empty() && part.back() == u'\r') {
      part.remove_suffix(1);
    }
    list.emplace_back(part);
  } while (pos < text.size());
  return true;
}

std::u16string JoinLines(const std::vector<std::u16string>& list) {
  size_t total = 0;
  for (const std::u16string& line : list) {
    total += line.size() + 2;
  }
  std::u16string result;
  result.reserve(total);
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) {
      result += u"\r\n";
    }
    result += list[i];
  }
  return result;
}

std::u16string GetLineValue(const std::vector<std::u16string>& lines, std::u16string_view key) {
  std::u16string prefix(key);
  prefix += u'=';
  for (const std::u16string& line : lines) {
    const std::u16string trimmed = TrimText(line);
    if (StartsWithNoCase(trimmed, prefix)) {
      return TrimText(std::u16string_view(trimmed).substr(prefix.size()));
    }
  }
  return {};
}

std::u16string IntToText(int32_t value) { return platform::Utf8ToUtf16(std::to_string(value)); }

std::u16string FormatText(std::u16string_view format, std::u16string_view p1,
                          std::u16string_view p2, std::u16string_view p3) {
  std::u16string result(format);
  size_t pos = 0;
  while (pos + 1 < result.size()) {
    if (result[pos] != u'%') {
      ++pos;
      continue;
    }
    const char16_t next = result[pos + 1];
    if (next >= u'1' && next <= u'9') {
      std::u16string_view value;
      if (next == u'1') {
        value = p1;
      } else if (next == u'2') {
        value = p2;
      } else if (next == u'3') {
        value = p3;
      }
      result.replace(pos, 2, value);
      pos += value.size();
    } else if (next == u'a') {
      result.erase(pos, 2);
    } else {
      ++pos;
    }
  }
  return result;
}
