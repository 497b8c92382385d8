#include "http/QenHttpFormData.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/http/HttpTestSupport.h"

namespace {

using httptest::U8;

TEST(QenHttpFormData, EveryReservedByteOfAValueIsEscaped) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> fields;
    std::string body;
  };
  const Row rows[] = {
      {"blank", {{u"name", u"a b"}}, "name=a%20b"},
      {"field separator and equals", {{u"password", u"a&ip=1.2.3.4"}}, "password=a%26ip%3D1.2.3.4"},
      {"percent", {{u"password", u"50%41"}}, "password=50%2541"},
      {"plus", {{u"password", u"+"}}, "password=%2B"},
      {"equals alone", {{u"password", u"="}}, "password=%3D"},
      {"unreserved stay", {{u"v", u"AZaz09-._~"}}, "v=AZaz09-._~"},
      {"other ASCII", {{u"v", u"/?#[]@!$'()*,;:\"<>\\^`{|}\t\r\n"}},
       "v=%2F%3F%23%5B%5D%40%21%24%27%28%29%2A%2C%3B%3A%22%3C%3E%5C%5E%60%7B%7C%7D%09%0D%0A"},
      {"non-ASCII as UTF-8, upper-case hex", {{u"v", u"\u00e9\u5bc6\U0001F511"}},
       "v=%C3%A9%E5%AF%86%F0%9F%94%91"},
      {"empty value keeps its pair", {{u"a", u"1"}, {u"b", u""}, {u"c", u"3"}}, "a=1&b=&c=3"},
      {"order of adding", {{u"b", u"2"}, {u"a", u"1"}}, "b=2&a=1"},
      {"no fields, no body", {}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CQenHttpFormData form;
    for (const auto& [name, value] : row.fields)
      EXPECT_TRUE(form.AddField(name, value));
    EXPECT_EQ(form.GetBody(), row.body);
  }
}

TEST(QenHttpFormData, RequestHeadersCarryTheContentTypeAndSortedExtras) {
  CQenHttpFormData form;
  EXPECT_EQ(U8(form.GetRequestHeaders()), "Content-Type: application/x-www-form-urlencoded\r\n");
  form.SetHeader(u"X-B", u"first");
  form.SetHeader(u"X-A", u"1");
  form.SetHeader(u"X-B", u"2");
  form.SetHeader(u"x-a", nullptr);
  EXPECT_EQ(U8(form.GetHeaders()), "X-A: 1\r\nX-B: 2\r\nx-a:");
  EXPECT_EQ(U8(form.GetRequestHeaders()),
            "Content-Type: application/x-www-form-urlencoded\r\nX-A: 1\r\nX-B: 2\r\nx-a:\r\n");
}

}  // namespace
