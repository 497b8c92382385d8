#include <gtest/gtest.h>

#include <string>

#include "http/QenHttpServer.h"
#include "tests/http/HttpTestSupport.h"

namespace {

using httptest::U8;

TEST(HeaderReaders, StatusLengthTypeAndNamedHeaderFromOneBlock) {
  struct Row {
    const char* name;
    std::u16string block;
    int32_t code;          // after starting at 200
    bool codeFound;
    int32_t length;        // after starting at 0
    bool lengthFound;
    std::u16string type;
    std::u16string charset;
    std::u16string host;   // GetHeaderValue(block, "Host")
  };
  const Row rows[] = {
      {"plain reply", u"HTTP/1.1 404 Not Found\r\nContent-Length: 42\r\nContent-Type: text/html; charset=gb2312\r\n\r\n",
       404, true, 42, true, u"text/html", u"gb2312", u""},
      {"blank before the colon is not the header", u"HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n", 200, true, 0,
       false, u"", u"", u""},
      {"length abc reads as 0", u"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n", 200, true, 0, false, u"", u"",
       u""},
      {"length 0", u"HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n", 204, true, 0, false, u"", u"", u""},
      {"no blank anywhere keeps 200", u"garbage\r\nContent-Length:7\r\n", 200, false, 7, true, u"", u"", u""},
      {"status text without digits reads as 0", u"HTTP/1.1 OK\r\n\r\n", 0, true, 0, false, u"", u"", u""},
      {"header names without case, value with a colon", u"HTTP/1.0 302 Found\r\nhOsT:  box:80 \r\nCONTENT-TYPE: TEXT/HTML; CHARSET=UTF-8\r\n",
       302, true, 0, false, u"TEXT/HTML", u"UTF-8", u"box=80"},
      {"quotes around the charset stay", u"HTTP/1.1 200 OK\nContent-Type: application/json;charset=\"utf-8\"\n", 200,
       true, 0, false, u"application/json", u"\"utf-8\"", u""},
      {"no charset item", u"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n", 200, true, 0, false, u"text/plain",
       u"", u""},
      {"an oversize block reaches the engine as empty text", u"", 200, false, 0, false, u"", u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int32_t code = 200;
    EXPECT_EQ(GetStatusCode(row.block, code), row.codeFound);
    EXPECT_EQ(code, row.code);
    int32_t length = 0;
    EXPECT_EQ(GetContentLength(row.block, length), row.lengthFound);
    EXPECT_EQ(length, row.length);
    std::u16string type = u"unchanged";
    std::u16string charset = u"unchanged";
    bool hasType = GetContentType(row.block, type, charset);
    EXPECT_EQ(hasType, !row.type.empty());
    EXPECT_EQ(U8(type), hasType ? U8(row.type) : "unchanged");
    EXPECT_EQ(U8(charset), hasType ? U8(row.charset) : "unchanged");
    EXPECT_EQ(U8(GetHeaderValue(row.block, u"Host")), U8(row.host));
  }
}

TEST(HeaderReaders, LengthLeftAloneWhenHeaderMissing) {
  int32_t length = 17;
  EXPECT_FALSE(GetContentLength(u"HTTP/1.1 200 OK\r\n\r\n", length));
  EXPECT_EQ(length, 17);
  EXPECT_FALSE(GetContentLength(u"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", length));
  EXPECT_EQ(length, 0) << "a header that reads 0 is stored, yet reported as no length";
}

}  // namespace
