#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/Locale.h"
#include "tests/support/Utf16Bytes.h"

namespace {

using platform::MB_ERR_INVALID_CHARS;
using platform::WC_ERR_INVALID_CHARS;

constexpr uint32_t kNoError = 0;
constexpr uint32_t kInvalid = platform::ERROR_NO_UNICODE_TRANSLATION;

struct DecodeRow {
  const char* name;
  uint32_t codePage;
  uint32_t flags;
  std::string bytes;
  uint32_t error;  // 0: the call succeeds with text
  std::u16string text;
};

TEST(CodePage, MultiByteToWideChar) {
  const DecodeRow rows[] = {
      {"utf-8", 65001, 0, "A\xE4\xB8\xAD" "B", kNoError, u"A\u4E2DB"},
      {"utf-8 keeps zero bytes", 65001, MB_ERR_INVALID_CHARS, std::string("a\0b", 3), kNoError,
       std::u16string(u"a\0b", 3)},
      {"utf-8 empty", 65001, MB_ERR_INVALID_CHARS, "", kNoError, u""},
      {"utf-8 bad byte, strict", 65001, MB_ERR_INVALID_CHARS, "\xC3(", kInvalid, u""},
      {"utf-8 bad byte, substituted", 65001, 0, "\xC3(", kNoError, u"\uFFFD("},
      {"utf-8 truncated, strict", 65001, MB_ERR_INVALID_CHARS, "a\xE4\xB8", kInvalid, u""},
      {"utf-8 truncated, substituted", 65001, 0, "a\xE4\xB8", kNoError, u"a\uFFFD"},
      {"utf-8 overlong zero", 65001, 0, "\xC0\x80", kNoError, u"\uFFFD\uFFFD"},
      {"utf-8 encoded surrogate, strict", 65001, MB_ERR_INVALID_CHARS, "\xED\xA0\x80", kInvalid,
       u""},
      {"utf-8 four bytes", 65001, 0, "\xF0\x9F\x98\x80", kNoError, u"\U0001F600"},
      {"gbk", 936, MB_ERR_INVALID_CHARS, "\xD6\xD0\xCE\xC4", kNoError, u"\u4E2D\u6587"},
      {"gbk euro", 936, 0, "\x80", kNoError, u"\u20AC"},
      {"gbk lone lead byte, strict", 936, MB_ERR_INVALID_CHARS, "a\xD6", kInvalid, u""},
      {"big5", 950, 0, "\xA4\xA4\xA4\xE5", kNoError, u"\u4E2D\u6587"},
      {"shift_jis", 932, 0, "\x93\xFA\x96\x7B", kNoError, u"\u65E5\u672C"},
      {"euc-jp", 51932, 0, "\xC6\xFC\xCB\xDC", kNoError, u"\u65E5\u672C"},
      {"windows-1252", 1252, 0, "\x80\xE9", kNoError, u"\u20AC\u00E9"},
      {"iso-8859-1", 28591, 0, "\x80\xE9", kNoError, u"\u0080\u00E9"},
      {"utf-16le", 1200, 0, std::string("A\0\x2D\x4E", 4), kNoError, u"A\u4E2D"},
      {"unknown code page", 12345, 0, "abc", EINVAL, u""},
  };
  for (const DecodeRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::u16string out = u"untouched";
    platform::SetLastError(kNoError);
    const bool ok = platform::MultiByteToWideChar(row.codePage, row.flags, row.bytes, out);
    if (row.error == kNoError) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(out, row.text);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(platform::GetLastError(), row.error);
      EXPECT_EQ(out, u"untouched");
    }
  }
}

TEST(CodePage, AnsiCodePageFollowsGetACP) {
  std::u16string out;
  platform::SetACPForTest(936);
  EXPECT_TRUE(platform::MultiByteToWideChar(platform::CP_ACP, 0, "\xD6\xD0", out));
  EXPECT_EQ(out, u"\u4E2D");
  platform::SetACPForTest(65001);
  EXPECT_TRUE(platform::MultiByteToWideChar(platform::CP_ACP, 0, "\xE4\xB8\xAD", out));
  EXPECT_EQ(out, u"\u4E2D");
  platform::SetACPForTest(0);
}

struct EncodeRow {
  const char* name;
  uint32_t codePage;
  uint32_t flags;
  std::u16string text;
  uint32_t error;
  std::string bytes;
};

TEST(CodePage, WideCharToMultiByte) {
  const EncodeRow rows[] = {
      {"utf-8", 65001, WC_ERR_INVALID_CHARS, u"A\u4E2D\U0001F600", kNoError,
       "A\xE4\xB8\xAD\xF0\x9F\x98\x80"},
      {"utf-8 lone surrogate, substituted", 65001, 0, u"a\xD800" "b", kNoError,
       "a\xEF\xBF\xBD" "b"},
      {"utf-8 lone surrogate, strict", 65001, WC_ERR_INVALID_CHARS, u"a\xD800", kInvalid, ""},
      {"gbk", 936, 0, u"\u4E2D\u6587", kNoError, "\xD6\xD0\xCE\xC4"},
      {"gbk unmappable, strict", 936, WC_ERR_INVALID_CHARS, u"\U0001F600", kInvalid, ""},
      {"unknown code page", 12345, 0, u"abc", EINVAL, ""},
  };
  for (const EncodeRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::string out = "untouched";
    const bool ok = platform::WideCharToMultiByte(row.codePage, row.flags, row.text, out);
    if (row.error == kNoError) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(out, row.bytes);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(platform::GetLastError(), row.error);
      EXPECT_EQ(out, "untouched");
    }
  }
}

using tests::Utf16Le;

std::string Utf16Be(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

TEST(CodePage, IsTextUnicode) {
  const struct {
    const char* name;
    std::string bytes;
    bool expected;
  } rows[] = {
      {"latin utf-16le", Utf16Le(u"Hello, world\r\n"), true},
      {"mixed chinese utf-16le", Utf16Le(u"\u4E2D\u6587 abc"), true},
      {"utf-16le ending in zero units", Utf16Le(u"Hello") + std::string(6, '\0'), true},
      {"utf-16be", Utf16Be(u"Hello, world"), false},
      {"utf-16be mark", "\xFE\xFF" + Utf16Le(u"Hello, world"), false},
      {"8-bit text with one zero byte", std::string("hello\0world!", 12), false},
      {"odd size", Utf16Le(u"Hello, world") + "x", false},
      {"byte-swapped line feed", Utf16Le(u"Hello") + std::string("\0\n", 2), false},
      {"one byte", "A", false},
      {"empty", "", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::IsTextUnicode(row.bytes.data(), row.bytes.size()), row.expected);
  }
  EXPECT_FALSE(platform::IsTextUnicode(nullptr, 16));
}

TEST(CodePage, CharsetToWindowsCodePage) {
  const struct {
    const char* name;
    uint32_t codePage;
  } rows[] = {
      {"gb2312", 936},     {"GB2312", 936},         {"gbk", 936},
      {"gb18030", 54936},  {"utf-8", 65001},        {"UTF8", 65001},
      {"iso-8859-1", 28591}, {"latin1", 28591},     {"windows-1252", 1252},
      {"big5", 950},       {"shift_jis", 932},      {"euc-jp", 51932},
      {"unicode", 1200},   {"utf-16", 1200},        {"us-ascii", 20127},
      {"koi8-r", 20866},   {"ks_c_5601-1987", 949}, {"ibm437", 437},
      {"", 0},             {"nonsense", 0},         {"utf 8", 0},
      {"utf-8\x01", 0},    {"\xE4\xB8\xAD", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::CharsetToWindowsCodePage(row.name), row.codePage);
    // Every code page the lookup gives can also be converted.
    if (row.codePage != 0) {
      EXPECT_FALSE(platform::CodePageConverterName(row.codePage).empty());
    }
  }
  EXPECT_EQ(platform::CharsetToWindowsCodePage(std::string(100, 'a')), 0u);
}

TEST(CodePage, ConverterNames) {
  const struct {
    uint32_t codePage;
    const char* converter;
  } rows[] = {
      {65001, "UTF-8"},          {1200, "UTF-16LE"},         {51932, "euc-jp-2007"},
      {28591, "ISO-8859-1"},     {936, "windows-936-2000"},  {950, "windows-950-2000"},
      {932, "ibm-943_P15A-2003"}, {1252, "ibm-5348_P100-1997"}, {12345, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.codePage);
    EXPECT_EQ(platform::CodePageConverterName(row.codePage), row.converter);
  }
  platform::SetACPForTest(936);
  EXPECT_EQ(platform::CodePageConverterName(platform::CP_ACP), "windows-936-2000");
  platform::SetACPForTest(0);
}

TEST(CodePage, EveryAnsiCodePageOfTheLocaleHasAConverter) {
  for (const char* codeset :
       {"UTF-8", "GBK", "GB18030", "BIG5", "EUC-KR", "SJIS", "EUC-JP", "ISO-8859-1", "ASCII",
        "KOI8-R", "KOI8-U", "TIS-620", "ISO-8859-2", "ISO-8859-5", "ISO-8859-7", "ISO-8859-9",
        "ISO-8859-13", "ISO-8859-15", "CP1250", "CP1251", "CP1253", "CP1254", "CP1255", "CP1256",
        "CP1257", "CP1258"}) {
    SCOPED_TRACE(codeset);
    const uint32_t codePage = platform::CodePageFromCodeset(codeset);
    ASSERT_NE(codePage, 0u);
    EXPECT_FALSE(platform::CodePageConverterName(codePage).empty()) << codePage;
  }
}

}  // namespace
