#include "global/TextCodec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "global/PathUtils.h"
#include "platform/ByteStream.h"
#include "platform/Locale.h"
#include "platform/Utf.h"
#include "tests/support/Utf16Bytes.h"

namespace {

// UTF-8 and GB2312 bytes of the same texts.
const std::string kZhongUtf8 = "\xE4\xB8\xAD";              // U+4E2D
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // U+4E2D U+6587
const std::string kZhongWenGb = "\xD6\xD0\xCE\xC4";
// Valid UTF-8 that is also valid GBK: U+4F60 U+597D, read in GBK as U+6D63 U+72B2 U+30BD.
const std::string kNiHaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";
const std::u16string kNiHaoAsGbk = u"\u6D63\u72B2\u30BD";

using tests::Utf16Le;

std::string Bytes(const char* data, size_t count) { return std::string(data, count); }

class AnsiCodePage {
public:
  explicit AnsiCodePage(uint32_t codePage) { platform::SetACPForTest(codePage); }
  ~AnsiCodePage() { platform::SetACPForTest(0); }
};

constexpr uint32_t kAnsiCodePages[] = {65001, 936};

enum class Decoder { Buffer, Stream, Html, Xml, Charset };

struct DecodeRow {
  const char* name;
  Decoder decoder;
  std::string bytes;
  std::u16string charset;  // Decoder::Charset only
  std::u16string at65001;  // expected text with ANSI code page 65001
  std::u16string at936;    // ... and with 936
};

std::u16string Decode(const DecodeRow& row) {
  std::u16string out = u"untouched";
  switch (row.decoder) {
    case Decoder::Buffer:
      EXPECT_TRUE(LoadTextFromBuffer(row.bytes.data(), row.bytes.size(), out));
      break;
    case Decoder::Stream: {
      CByteStream stream;
      stream.Write(row.bytes.data(), row.bytes.size());  // left at its end
      EXPECT_TRUE(LoadTextFromStream(stream, out));
      break;
    }
    case Decoder::Html:
      EXPECT_TRUE(DecodeHtmlText(row.bytes, out));
      break;
    case Decoder::Xml:
      EXPECT_TRUE(DecodeXmlText(row.bytes, out));
      break;
    case Decoder::Charset:
      out = CharsetToText(row.charset, row.bytes);
      break;
  }
  return out;
}

TEST(TextCodec, DecodersUnderBothAnsiCodePages) {
  const std::u16string fffd4 = u"\uFFFD\uFFFD\uFFFD\uFFFD";
  const DecodeRow rows[] = {
      {"UTF-16 mark, CR LF", Decoder::Buffer, Bytes("\xFF\xFE" "A\0\r\0\n\0B\0", 10), u"",
       u"A\nB", u"A\nB"},
      {"UTF-16 mark, odd trailing byte", Decoder::Buffer, Bytes("\xFF\xFE" "A\0B", 5), u"", u"A",
       u"A"},
      {"UTF-16 mark only", Decoder::Buffer, "\xFF\xFE", u"", u"", u""},
      {"8-bit CR LF and lone CR", Decoder::Buffer, "x\r\ny\rz", u"", u"x\ny\nz", u"x\ny\nz"},
      {"8-bit trailing CR", Decoder::Buffer, "x\r", u"", u"x\n", u"x\n"},
      {"UTF-8 mark", Decoder::Buffer, "\xEF\xBB\xBF" + kZhongWenUtf8 + "\r\n", u"",
       u"\u4E2D\u6587\n", u"\u4E2D\u6587\n"},
      {"10 bytes with zeros are 8-bit", Decoder::Buffer, Bytes("A\0B\0C\0D\0E\0", 10), u"",
       u"ABCDE", u"ABCDE"},
      {"12 bytes of UTF-16LE without mark", Decoder::Buffer, Bytes("A\0B\0C\0D\0E\0F\0", 12), u"",
       u"ABCDEF", u"ABCDEF"},
      {"long UTF-16LE without mark", Decoder::Buffer, Utf16Le(u"\u4E2D\u6587 line\r\nnext\r"), u"",
       u"\u4E2D\u6587 line\nnext\n", u"\u4E2D\u6587 line\nnext\n"},
      {"UTF-16LE zero units dropped", Decoder::Buffer, Utf16Le(std::u16string(u"ab\0cdefg", 8)),
       u"", u"abcdefg", u"abcdefg"},
      {"odd size without mark is 8-bit", Decoder::Buffer, Bytes("A\0B\0C\0D\0E\0F\0G", 13), u"",
       u"ABCDEFG", u"ABCDEFG"},
      {"8-bit zero bytes dropped", Decoder::Buffer, Bytes("a\0b", 3), u"", u"ab", u"ab"},
      {"GB2312 bytes in the ANSI code page", Decoder::Buffer, kZhongWenGb, u"", fffd4,
       u"\u4E2D\u6587"},
      {"UTF-8 without mark in the ANSI code page", Decoder::Buffer, kNiHaoUtf8, u"",
       u"\u4F60\u597D", kNiHaoAsGbk},
      {"empty buffer", Decoder::Buffer, "", u"", u"", u""},
      {"stream read from its start", Decoder::Stream, Bytes("\xFF\xFE" "A\0\r\0B\0", 8), u"",
       u"A\nB", u"A\nB"},
      {"empty stream", Decoder::Stream, "", u"", u"", u""},
      {"charset in the second meta tag", Decoder::Html,
       "<meta name=\"a\" content=\"b\"><meta charset=\"gb2312\">" + kZhongWenGb, u"",
       u"<meta name=\"a\" content=\"b\"><meta charset=\"gb2312\">\u4E2D\u6587",
       u"<meta name=\"a\" content=\"b\"><meta charset=\"gb2312\">\u4E2D\u6587"},
      {"charset=utf-8 followed by blank and />", Decoder::Html,
       "<META CHARSET=utf-8 />" + kZhongUtf8, u"", u"<META CHARSET=utf-8 />\u4E2D",
       u"<META CHARSET=utf-8 />\u4E2D"},
      {"no meta, UTF-8 invalid in GBK", Decoder::Html, "<p>" + kZhongUtf8 + "</p>", u"",
       u"<p>\u4E2D</p>", u"<p>\u4E2D</p>"},
      {"no meta, valid in both prefers ANSI", Decoder::Html, kNiHaoUtf8, u"", u"\u4F60\u597D",
       kNiHaoAsGbk},
      {"no meta, GB2312 bytes", Decoder::Html, kZhongWenGb, u"", fffd4, u"\u4E2D\u6587"},
      {"unknown charset reads ANSI", Decoder::Html, "<meta charset=x-nonsense>" + kZhongWenGb,
       u"", u"<meta charset=x-nonsense>" + fffd4, u"<meta charset=x-nonsense>\u4E2D\u6587"},
      {"HTML ends at a zero byte", Decoder::Html, Bytes("a\0b", 3), u"", u"a", u"a"},
      {"XML encoding in quotation marks", Decoder::Xml,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>" + kZhongUtf8 + "</a>", u"",
       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\u4E2D</a>",
       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\u4E2D</a>"},
      {"XML encoding in apostrophes with standalone", Decoder::Xml,
       "<?xml version='1.0' encoding='gb2312' standalone='yes'?>" + kZhongWenGb, u"",
       u"<?xml version='1.0' encoding='gb2312' standalone='yes'?>\u4E2D\u6587",
       u"<?xml version='1.0' encoding='gb2312' standalone='yes'?>\u4E2D\u6587"},
      {"JSON without declaration guesses", Decoder::Xml, "{\"m\":\"" + kZhongWenGb + "\"}", u"",
       u"{\"m\":\"" + fffd4 + u"\"}", u"{\"m\":\"\u4E2D\u6587\"}"},
      {"charset UTF8", Decoder::Charset, kZhongUtf8, u"UTF8", u"\u4E2D", u"\u4E2D"},
      {"charset big5", Decoder::Charset, "\xA4\xA4\xA4\xE5", u"big5", u"\u4E2D\u6587",
       u"\u4E2D\u6587"},
      {"charset euc-jp", Decoder::Charset, "\xC6\xFC\xCB\xDC", u"euc-jp", u"\u65E5\u672C",
       u"\u65E5\u672C"},
      {"charset iso-8859-1", Decoder::Charset, "caf\xE9", u"iso-8859-1", u"caf\u00E9",
       u"caf\u00E9"},
      {"empty charset reads ANSI", Decoder::Charset, kZhongWenGb, u"", fffd4, u"\u4E2D\u6587"},
      {"UTF-8 mark overrides the charset", Decoder::Charset, "\xEF\xBB\xBF" + kZhongUtf8,
       u"gb2312", u"\u4E2D", u"\u4E2D"},
      {"a lone UTF-8 mark is not dropped", Decoder::Charset, "\xEF\xBB\xBF", u"utf-8", u"\uFEFF",
       u"\uFEFF"},
      {"charset text ends at a zero byte", Decoder::Charset, Bytes("a\0b", 3), u"utf-8", u"a",
       u"a"},
  };
  for (uint32_t codePage : kAnsiCodePages) {
    AnsiCodePage ansi(codePage);
    for (const DecodeRow& row : rows) {
      SCOPED_TRACE(std::string(row.name) + " / ANSI " + std::to_string(codePage));
      EXPECT_EQ(Decode(row), codePage == 65001 ? row.at65001 : row.at936);
    }
  }
}

TEST(TextCodec, BufferFailuresLeaveTheOutputUntouched) {
  std::u16string out = u"untouched";
  EXPECT_FALSE(LoadTextFromBuffer(nullptr, 5, out));
  EXPECT_EQ(out, u"untouched");
  EXPECT_TRUE(LoadTextFromBuffer(nullptr, 0, out));
  EXPECT_EQ(out, u"");
}

TEST(TextCodec, GetHtmlCharset) {
  const struct {
    const char* name;
    std::string html;
    std::u16string charset;
  } rows[] = {
      {"content attribute",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">", u"utf-8"},
      {"charset attribute in quotation marks", "<meta charset=\"gb2312\">", u"gb2312"},
      {"charset attribute in apostrophes", "<meta charset='big5'>", u"big5"},
      {"blank and />", "<meta charset=utf-8 />", u"utf-8"},
      {"second meta tag, any case", "<META name=\"a\"><Meta CharSet=GB2312>", u"GB2312"},
      {"no meta tag", "<html><p>charset=utf-8</p></html>", u""},
      {"meta tag without charset", "<meta name=\"a\">", u""},
      {"unclosed meta tag", "<meta charset=utf-8", u""},
      {"empty value", "<meta charset=>", u""},
      {"zero byte before the meta tag", Bytes("<p>\0<meta charset=utf-8>", 25), u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(GetHtmlCharset(row.html), row.charset);
  }
}

TEST(TextCodec, GetXmlEncoding) {
  const struct {
    const char* name;
    std::string xml;
    std::u16string encoding;
  } rows[] = {
      {"quotation marks", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>", u"UTF-8"},
      {"apostrophes and standalone", "<?xml version='1.0' encoding='gb2312' standalone='yes'?>",
       u"gb2312"},
      {"any case, no quotes", "<?XML ENCODING=utf-8?>", u"utf-8"},
      {"after other text", "\r\n  <?xml encoding=\"big5\" ?>", u"big5"},
      {"no encoding", "<?xml version=\"1.0\"?>", u""},
      {"encoding only after the declaration", "<?xml version=\"1.0\"?><a encoding=\"x\"/>", u""},
      {"unclosed declaration", "<?xml encoding=\"utf-8\"", u""},
      {"no declaration", "<a/>", u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(GetXmlEncoding(row.xml), row.encoding);
  }
}

TEST(TextCodec, CharsetToCodePage) {
  EXPECT_EQ(CharsetToCodePage(u"UTF8"), 65001u);
  EXPECT_EQ(CharsetToCodePage(u"utf8"), CharsetToCodePage(u"utf-8"));
  const struct {
    std::u16string name;
    uint32_t codePage;
  } rows[] = {
      {u"gb2312", 936},      {u"big5", 950},   {u"shift_jis", 932}, {u"euc-jp", 51932},
      {u"iso-8859-1", 28591}, {u"unicode", 1200}, {u"", 0},          {u"x-nonsense", 0},
      {u"utf\u00AD8", 0},    {std::u16string(u"utf-8\0x", 7), 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(platform::Utf16ToUtf8(row.name));
    EXPECT_EQ(CharsetToCodePage(row.name), row.codePage);
  }
}

TEST(TextCodec, GuessAnsiOrUtf8) {
  const struct {
    const char* name;
    std::string text;
    uint32_t at65001;
    uint32_t at936;
  } rows[] = {
      {"ASCII", "plain", 65001, 936},
      {"empty", "", 65001, 936},
      {"GB2312 bytes", kZhongWenGb, 65001, 936},
      {"UTF-8 invalid in GBK", kZhongUtf8, 65001, 65001},
      {"valid in both", kNiHaoUtf8, 65001, 936},
      {"invalid in both", "\xFF\xFF\xFF", 65001, 936},
      {"only up to the zero byte", Bytes("a\0\xE4\xB8", 4), 65001, 936},
  };
  for (uint32_t codePage : kAnsiCodePages) {
    AnsiCodePage ansi(codePage);
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.name) + " / ANSI " + std::to_string(codePage));
      EXPECT_EQ(GuessAnsiOrUtf8(row.text), codePage == 65001 ? row.at65001 : row.at936);
    }
  }
}

TEST(TextCodec, Utf8Pair) {
  for (uint32_t codePage : kAnsiCodePages) {
    SCOPED_TRACE(codePage);
    AnsiCodePage ansi(codePage);
    EXPECT_EQ(TextToUtf8(u"A\u4E2D\U0001F600"), "A" + kZhongUtf8 + "\xF0\x9F\x98\x80");
    EXPECT_EQ(TextToUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(TextToUtf8(std::u16string(u"a\0b", 3)), "a");
    EXPECT_EQ(Utf8ToText("A" + kZhongUtf8 + "\xF0\x9F\x98\x80"), u"A\u4E2D\U0001F600");
    EXPECT_EQ(Utf8ToText("\xEF\xBB\xBF" "abc"), u"abc");
    EXPECT_EQ(Utf8ToText("a\xC3("), u"a\uFFFD(");
    EXPECT_EQ(Utf8ToText(kZhongWenGb), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  }
}

// Rules are keyed on private-use characters so that other test programs of
// this folder, which may run meanwhile, never meet them.
class StrconvTable : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string folder = platform::Utf16ToUtf8(GetExeFolder());
    ASSERT_FALSE(folder.empty());
    m_folder = std::filesystem::path(folder) / "strconv";
    m_file = m_folder / "65001.txt";
    m_createdFolder = !std::filesystem::exists(m_folder);
    ASSERT_FALSE(std::filesystem::exists(m_file)) << "an installed table is in the way";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(m_file, ignored);
    if (m_createdFolder)
      std::filesystem::remove(m_folder, ignored);
  }
  void WriteTable(const std::string& bytes) {
    std::filesystem::create_directories(m_folder);
    std::ofstream(m_file, std::ios::binary | std::ios::trunc) << bytes;
  }

  std::filesystem::path m_folder;
  std::filesystem::path m_file;
  bool m_createdFolder = false;
};

TEST_F(StrconvTable, AbsentTableChangesNothing) {
  std::u16string text = u"\uE001\uE002";
  ApplyStrconvTable(65001, text);
  EXPECT_EQ(text, u"\uE001\uE002");
}

TEST_F(StrconvTable, Rules) {
  const std::string mark = "\xFF\xFE";
  const struct {
    const char* name;
    std::string file;
    std::u16string text;
    std::u16string expected;
  } rows[] = {
      {"a rule applies to every occurrence", mark + Utf16Le(u"\uE001=X\r\n"), u"a\uE001b\uE001",
       u"aXbX"},
      {"last line without CR LF, longer replacement", mark + Utf16Le(u"\uE001=EUR"),
       u"\uE001" u"5", u"EUR5"},
      {"any separator", mark + Utf16Le(u"\uE001\tX"), u"\uE001", u"X"},
      {"replacement holding the character is skipped",
       mark + Utf16Le(u"\uE001=\uE001\uE001\r\n\uE002=Y"), u"\uE001\uE002", u"\uE001Y"},
      {"empty replacement is skipped", mark + Utf16Le(u"\uE001=\r\n\uE002=Y"), u"\uE001\uE002",
       u"\uE001Y"},
      {"a line of the character alone is skipped", mark + Utf16Le(u"\uE001\r\n\uE002=Y"),
       u"\uE001\uE002", u"\uE001Y"},
      {"rules apply in file order", mark + Utf16Le(u"\uE001=\uE002\r\n\uE002=Z\r\n"), u"\uE001",
       u"Z"},
      {"a zero unit ends the table",
       mark + Utf16Le(std::u16string(u"\uE001=X\r\n\0=\r\n\uE002=Y", 13)), u"\uE001\uE002",
       u"X\uE002"},
      {"odd trailing byte is ignored", mark + Utf16Le(u"\uE001=X") + "Q", u"\uE001", u"X"},
      {"character at the very end", mark + Utf16Le(u"\uE001"), u"\uE001", u"\uE001"},
      {"mark only", mark, u"\uE001", u"\uE001"},
      {"one byte", "\xFF", u"\uE001", u"\uE001"},
      {"empty file", "", u"\uE001", u"\uE001"},
      {"a chain of rules stops growing the text at 16 Mi units",
       mark + Utf16Le(u"\uE001=" + std::u16string(4096, u'\uE002') + u"\r\n\uE002=" +
                      std::u16string(4097, u'\uE003')),
       u"\uE001", std::u16string(4096, u'\uE002')},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteTable(row.file);
    std::u16string text = row.text;
    ApplyStrconvTable(65001, text);
    EXPECT_EQ(text, row.expected);
  }
}

TEST_F(StrconvTable, TextToUtf8AppliesTheTable) {
  WriteTable("\xFF\xFE" + Utf16Le(u"\uE001=\u4E2D"));
  std::u16string text = u"\uE001";
  EXPECT_EQ(TextToUtf8(text), kZhongUtf8);
  EXPECT_EQ(text, u"\uE001");  // the caller's text is not changed
  std::u16string other = u"\uE001";
  ApplyStrconvTable(936, other);  // only the code page's own table applies
  EXPECT_EQ(other, u"\uE001");
}

}  // namespace
