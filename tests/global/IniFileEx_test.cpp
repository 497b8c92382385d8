#include "global/IniFileEx.h"

#include <gtest/gtest.h>

#include "platform/Utf.h"

namespace {

std::string Show(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// The product settings text the program carries.
const std::u16string kProductSettings =
    u"[Common]\nCompany=\nInnerProductName=QenNote\nProductName=QenNote";

TEST(IniFileEx, Lookups) {
  struct Case {
    const char* name;
    std::u16string text, section, key;
    const char16_t* defaultValue;
    std::u16string expected;
  };
  const Case cases[] = {
      {"plain lookup", kProductSettings, u"Common", u"ProductName", u"dflt", u"QenNote"},
      {"section and key ignore case", kProductSettings, u"COMMON", u"productname", u"dflt", u"QenNote"},
      {"empty value is not the default", kProductSettings, u"Common", u"Company", u"dflt", u""},
      {"missing key gives the default", kProductSettings, u"Common", u"UIExcludes", u"dflt", u"dflt"},
      {"missing key, null default", kProductSettings, u"Common", u"UIExcludes", nullptr, u""},
      {"other section gives the default", kProductSettings, u"Other", u"ProductName", u"dflt", u"dflt"},
      {"blank before '=' does not match", u"[S]\nName =x", u"S", u"Name", u"dflt", u"dflt"},
      {"search stops at the next section", u"[A]\nx=1\n[B]\n[A]\ny=2", u"A", u"y", u"dflt", u"dflt"},
      {"first section found", u"[A]\nx=1\n[B]\n[A]\ny=2", u"A", u"x", u"dflt", u"1"},
      {"blank after '=' stays", u"[S]\nName= x", u"S", u"Name", u"dflt", u" x"},
      {"comment never matches", u"[S]\n;Name=x", u"S", u"Name", u"dflt", u"dflt"},
      {"lines trimmed, CR LF ends", u"  [S]  \r\n\r\n\t Name=a=b  \r\n", u"S", u"Name", u"dflt", u"a=b"},
      {"keys before any section are not read", u"Name=x\n[S]", u"S", u"Name", u"dflt", u"dflt"},
      {"no trimming inside the brackets", u"[ S ]\nName=x", u"S", u"Name", u"dflt", u"dflt"},
      {"trailing comment belongs to the header", u"[S] ;c\nName=x", u"S", u"Name", u"dflt", u"dflt"},
      {"first key line wins", u"[S]\nname=1\nNAME=2", u"S", u"Name", u"dflt", u"1"},
      {"empty text", u"", u"S", u"Name", u"dflt", u"dflt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CQenIniFileEx ini;
    EXPECT_TRUE(ini.SetText(c.text));
    EXPECT_EQ(Show(ini.GetString(c.section, c.key, c.defaultValue)), Show(c.expected));
  }
}

TEST(IniFileEx, SetTextReplacesTheLines) {
  CQenIniFileEx ini;
  EXPECT_EQ(ini.GetString(u"Common", u"ProductName", u"none"), u"none");
  ini.SetText(kProductSettings);
  ini.SetText(u"[Common]\nProductName=Other");
  EXPECT_EQ(ini.GetString(u"Common", u"ProductName"), u"Other");
  EXPECT_EQ(ini.GetString(u"Common", u"InnerProductName", u"none"), u"none");
}

}  // namespace
