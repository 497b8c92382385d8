#include "global/Translations.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Locale.h"
#include "platform/Utf.h"
#include "res/StringTable.h"

namespace {

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

const std::vector<uint32_t> kListedIds = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 112,
                                          113, 114, 115, 117, 121, 122, 123, 124, 125, 126, 127,
                                          160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170};

class TranslationsTest : public ::testing::Test {
protected:
  void TearDown() override { platform::SetUserDefaultLCIDForTest(0); }
};

TEST_F(TranslationsTest, EmptyTablePutsTheProductNameInPlaceOfP) {
  struct Row {
    std::u16string source;
    std::u16string expected;
    bool result;
  };
  const std::vector<Row> rows = {
      {u"{p}", u"QenNote", true},
      {u"{P}", u"QenNote", true},
      {u"Use {p} and {p}.", u"Use QenNote and QenNote.", true},
      {u"{p}{p}", u"QenNoteQenNote", true},
      {u"Keep {P} inside", u"Keep {P} inside", true},
      {u"{ p}", u"{ p}", true},
      {u"no placeholder", u"no placeholder", true},
      {u"", u"", false},
  };
  const CQenTranslationsStringTable table;
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.source));
    std::u16string result = u"stale";
    EXPECT_EQ(table.Translate(row.source, result), row.result);
    EXPECT_EQ(result, row.expected);
  }
}

TEST_F(TranslationsTest, StoredEntriesReplaceTheWholeText) {
  // Keys and values are stored escaped.
  const CQenTranslationsStringTable table(std::map<std::u16string, std::u16string>{
      {u"Hello", u"Bonjour"},
      {u"Tab\\there", u"A\\tB {p}"},
      {u"Say \"\"hi\"\"", u"Dis \"\"salut\"\""},
      {u"Short", u"\\"},
      {u"Blank {p}", u""},
      {u"Only p", u"{p}"},
  });
  struct Row {
    std::u16string source;
    std::u16string expected;
  };
  const std::vector<Row> rows = {
      {u"Hello", u"Bonjour"},
      {u"Tab\there", u"A\tB QenNote"},
      {u"Say \"hi\"", u"Dis \"salut\""},
      {u"Short", u"\\"},                 // one character is not unescaped
      {u"Blank {p}", u"Blank QenNote"},  // an empty value falls back to the source
      {u"Only p", u"QenNote"},
      {u"hello", u"hello"},  // keys are case-sensitive
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.source));
    std::u16string result;
    EXPECT_TRUE(table.Translate(row.source, result));
    EXPECT_EQ(result, row.expected);
  }
}

TEST_F(TranslationsTest, EscapeAndUnescape) {
  struct Row {
    std::u16string text;
    std::u16string escaped;
  };
  const std::vector<Row> roundTrip = {
      {u"", u""},
      {u"plain", u"plain"},
      {u"back\\slash", u"back\\\\slash"},
      {u"say \"hi\"", u"say \"\"hi\"\""},
      {u"tab\tlf\ncr\r", u"tab\\tlf\\ncr\\r"},
      {u"\\n is not a line feed", u"\\\\n is not a line feed"},
      {u"\"", u"\"\""},
      {u"\\\"\t", u"\\\\\"\"\\t"},
  };
  for (const Row& row : roundTrip) {
    SCOPED_TRACE(U8(row.text));
    std::u16string text = row.text;
    EscapeText(text);
    EXPECT_EQ(text, row.escaped);
    UnescapeText(text);
    EXPECT_EQ(text, row.text);
  }
  const std::vector<Row> unescapeOnly = {
      {u"\\x stays", u"\\x stays"},
      {u"ends in \\", u"ends in \\"},
      {u"lone \" quote", u"lone \" quote"},
      {u"\\", u"\\"},
      {u"\\\\\\", u"\\\\"},
  };
  for (const Row& row : unescapeOnly) {
    SCOPED_TRACE(U8(row.text));
    std::u16string text = row.text;
    UnescapeText(text);
    EXPECT_EQ(text, row.escaped);
  }
}

TEST_F(TranslationsTest, BothStringTablesHoldEveryListedId) {
  for (uint32_t language : {1033u, 2052u}) {
    for (uint32_t id : kListedIds) {
      SCOPED_TRACE(std::to_string(language) + "/" + std::to_string(id));
      const char16_t* text = FindStringResource(id, language);
      ASSERT_NE(text, nullptr);
      EXPECT_NE(text[0], u'\0');
    }
    for (uint32_t id : {0u, 100u, 111u, 116u, 118u, 128u, 159u, 171u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(std::to_string(language) + "/" + std::to_string(id));
      EXPECT_EQ(FindStringResource(id, language), nullptr);
    }
  }
  EXPECT_NE(std::u16string(FindStringResource(112, 1033)), FindStringResource(112, 2052));
  // Languages without a table of their own read English.
  EXPECT_EQ(FindStringResource(112, 1028), FindStringResource(112, 1033));

  struct Row {
    uint32_t id;
    uint32_t language;
    std::u16string text;
  };
  const std::vector<Row> spotChecks = {
      {101, 1033, u"&About QenBox Client..."},
      {108, 1033, u"IP address has been reseted, please wait for re-finding QenBox."},
      {122, 1033, u"Manage Consol"},
      {124, 1033, u"User Name:"},
      {162, 1033, u"Please ensure you QenBox is opened and has connected to your router."},
      {113, 2052, u"您的Qen盒子 (%1) 运行正常。"},
      {108, 2052, u"IP 地址已经被重新设置，请稍等重新发现Qen盒子。"},
      {162, 2052,
       u"请确认您的Qen盒子已经打开，并且已经连接您的路由器。如果您是第一次使用Qen盒子，"
       u"并且您的路由器自动分配IP（DHCP）服务被禁止，那么您需要手工配置Qen盒子。"},
      {170, 2052, u"网关（可以为空）"},
  };
  for (const Row& row : spotChecks) {
    SCOPED_TRACE(std::to_string(row.language) + "/" + std::to_string(row.id));
    const char16_t* text = FindStringResource(row.id, row.language);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), row.text);
  }
}

TEST_F(TranslationsTest, LoadTextPicksTheTableOfTheUsersLanguage) {
  struct Row {
    uint32_t userLcid;
    uint32_t language;
  };
  const std::vector<Row> rows = {
      {1033, 1033}, {2052, 2052}, {4100, 2052}, {1028, 1033}, {3076, 1033}, {1031, 1033},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.userLcid);
    platform::SetUserDefaultLCIDForTest(row.userLcid);
    EXPECT_EQ(GetStringTableLanguage(), row.language);
    // The tables hold no "{p}", so every text comes out as stored.
    for (uint32_t id : kListedIds) {
      SCOPED_TRACE(id);
      const std::u16string stored = FindStringResource(id, row.language);
      EXPECT_EQ(LoadText(id), stored);
      EXPECT_EQ(LoadStringResource(id), stored);
    }
    EXPECT_EQ(LoadText(111), u"");
    EXPECT_EQ(LoadStringResource(111), u"");
    EXPECT_EQ(LoadTextFormat(111, u"x"), u"");
  }
}

TEST_F(TranslationsTest, LoadTextFormatFillsTheAddress) {
  struct Row {
    uint32_t userLcid;
    uint32_t id;
    std::u16string param;
    std::u16string expected;
  };
  const std::vector<Row> rows = {
      {1033, 102, u"192.168.1.20",
       u"QenBox was found at 192.168.1.20. Please reset the IP address of your QenBox."},
      {2052, 102, u"192.168.1.20", u"在 192.168.1.20 找到Qen盒子。 请重新设置Qen盒子的IP地址。"},
      {2052, 113, u"10.0.0.5", u"您的Qen盒子 (10.0.0.5) 运行正常。"},
      {1033, 113, u"%1", u"Your QenBox (%1) is running normally."},
      {1033, 112, u"ignored", u"Welcome to QenNote"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.userLcid) + "/" + std::to_string(row.id));
    platform::SetUserDefaultLCIDForTest(row.userLcid);
    EXPECT_EQ(LoadTextFormat(row.id, row.param), row.expected);
  }
}

}  // namespace
