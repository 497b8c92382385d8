#include "global/ErrorText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/LastError.h"
#include "platform/Utf.h"

namespace {

std::string Show(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

TEST(ErrorText, TextsByCode) {
  struct Case {
    uint32_t code;
    std::u16string expected;
  };
  const Case cases[] = {
      {ENOENT, u"No such file or directory\r\n"},
      {ECONNREFUSED, u"Connection refused\r\n"},
      {platform::ERROR_NO_UNICODE_TRANSLATION,
       u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
      {platform::ERROR_INTERNET_CANNOT_CONNECT,
       u"A connection with the server could not be established\r\n"},
      {platform::ERROR_INTERNET_TIMEOUT, u"The operation timed out\r\n"},
      {platform::ERROR_INTERNET_NAME_NOT_RESOLVED,
       u"The server name or address could not be resolved\r\n"},
      {0, u"GetLastError()=0"},
      {4000, u"GetLastError()=4000"},
      {12345, u"GetLastError()=12345"},
      {0xFFFFFFFFu, u"GetLastError()=-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(Show(GetErrorText(c.code)), Show(c.expected));
  }
}

TEST(ErrorText, SystemTextsEndInCrLf) {
  for (uint32_t code = 1; code < 13000; ++code) {
    const std::string text = Show(platform::FormatMessage(code));
    if (text.empty()) continue;
    SCOPED_TRACE(code);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find("Unknown error"), std::string::npos);
  }
}

TEST(ErrorText, LastErrorIsPerThread) {
  platform::SetLastError(0);
  EXPECT_EQ(GetLastErrorText(), u"");
  platform::SetLastError(platform::ERROR_INTERNET_TIMEOUT);
  EXPECT_EQ(GetLastErrorText(), u"The operation timed out\r\n");
  uint32_t seenByOther = 1;
  std::thread([&] { seenByOther = platform::GetLastError(); }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INTERNET_TIMEOUT);
  platform::SetLastError(0);
}

}  // namespace
