#include "discovery/FindEvents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/DiscoveryLog.h"
#include "platform/Utf.h"

namespace {

struct Row {
  const char* name;
  std::string sender;
  std::string reply;
  bool verdict;  // true = ignored, the sweep goes on
  std::u16string ip;
  std::u16string type;
  std::vector<std::u16string> log;  // u"<reply>" stands for the reply text
};

constexpr char16_t kReplyText[] = u"<reply>";

const std::string kBoxReply = R"({"ip":"192.168.1.20","iptype":"static"})";

std::vector<Row> Rows() {
  const std::string deepArray(1023, '[');
  return {
      // The design's edge cases.
      {"static box from its own address", "192.168.1.20", kBoxReply, false, u"192.168.1.20",
       u"static", {}},
      {"sender differs from ip", "192.168.1.21", kBoxReply, false, u"192.168.1.20", u"static",
       {u"address is not match: 192.168.1.21, 192.168.1.20"}},
      {"only ip", "192.168.1.20", R"({"ip":"192.168.1.20"})", false, u"", u"",
       {kReplyText, u"no iptype field"}},
      {"ip is a number", "192.168.1.20", R"({"ip":20,"iptype":"static"})", false, u"", u"",
       {kReplyText, u"no ip field"}},
      {"not JSON", "192.168.1.20", "hello", true, u"", u"", {}},
      {"iptype in capitals unchanged", "192.168.1.20",
       R"({"ip":"192.168.1.20","iptype":"STATIC"})", false, u"192.168.1.20", u"STATIC", {}},
      // Around them.
      {"dhcp, other members ignored", "192.0.2.20",
       R"({"name":"box","ip":"192.0.2.20","iptype":"dhcp","port":80})", false, u"192.0.2.20",
       u"dhcp", {}},
      {"no members", "192.168.1.20", "{}", false, u"", u"", {kReplyText, u"no ip field"}},
      {"iptype is a number", "192.168.1.20", R"({"ip":"192.168.1.20","iptype":1})", false, u"",
       u"", {kReplyText, u"no iptype field"}},
      {"empty reply", "192.168.1.20", "", true, u"", u"", {}},
      // The parser's own verdict does not count: trailing text still gives an object.
      {"trailing text after the object", "192.168.1.20", kBoxReply + " tail", false,
       u"192.168.1.20", u"static", {}},
      // M3: "ip" must be dotted-decimal IPv4 before anyone pastes it into a URL.
      {"ip with three parts", "192.168.1.20", R"({"ip":"192.168.1","iptype":"static"})", true, u"",
       u"", {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip part above 255", "192.168.1.20", R"({"ip":"192.168.1.256","iptype":"static"})", true,
       u"", u"", {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip is a host name", "192.168.1.20", R"({"ip":"box.local/x","iptype":"static"})", true, u"",
       u"", {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip with a blank", "192.168.1.20", R"({"ip":" 192.168.1.20","iptype":"static"})", true, u"",
       u"", {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip with a NUL inside", "192.168.1.20",
       R"({"ip":"192.168.1.20\u0000@evil","iptype":"static"})", true, u"", u"",
       {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip is IPv6", "192.168.1.20", R"({"ip":"::1","iptype":"static"})", true, u"", u"",
       {kReplyText, u"ip field is not an IPv4 address"}},
      {"ip empty", "192.168.1.20", R"({"ip":"","iptype":"static"})", true, u"", u"",
       {kReplyText, u"ip field is not an IPv4 address"}},
      // M4: roots other than an object, and texts the reader throws on.
      {"number root", "192.168.1.20", "20", true, u"", u"", {}},
      {"text root", "192.168.1.20", R"("192.168.1.20")", true, u"", u"", {}},
      {"array root", "192.168.1.20", R"([{"ip":"192.168.1.20","iptype":"static"}])", true, u"",
       u"", {}},
      {"nesting past the reader's limit", "192.168.1.20", deepArray, true, u"", u"",
       {kReplyText}},
  };
}

TEST(CEventsOnReply, VerdictResultAndLogFollowTheReply) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    std::vector<std::u16string> lines;
    SetDiscoveryLogSink([&lines](std::u16string_view text) { lines.emplace_back(text); });
    CEvents events;
    const bool verdict = events.OnReply("192.168.1.255", row.sender, row.reply);
    SetDiscoveryLogSink({});

    EXPECT_EQ(row.verdict, verdict);
    EXPECT_EQ(row.ip, events.m_strIPAddress);
    EXPECT_EQ(row.type, events.m_strIPType);
    std::vector<std::u16string> expected = row.log;
    for (std::u16string& line : expected) {
      if (line == kReplyText) {
        line = platform::Utf8ToUtf16(row.reply);
      }
    }
    EXPECT_EQ(expected, lines);
  }
}

// One handler serves the whole search: ignored replies leave it empty, and the
// first reply it takes fills it.
TEST(CEventsOnReply, IgnoredRepliesLeaveTheHandlerReadyForTheNextAddress) {
  SetDiscoveryLogSink([](std::u16string_view) {});
  CEvents events;
  EXPECT_TRUE(events.OnReply("10.0.0.255", "10.0.0.5", "hello"));
  EXPECT_TRUE(events.OnReply("10.0.0.255", "10.0.0.5", R"({"ip":"nope","iptype":"static"})"));
  EXPECT_TRUE(events.m_strIPAddress.empty());
  EXPECT_FALSE(events.OnReply("192.0.2.255", "192.0.2.20", R"({"ip":"192.0.2.20","iptype":"dhcp"})"));
  SetDiscoveryLogSink({});
  EXPECT_EQ(u"192.0.2.20", events.m_strIPAddress);
  EXPECT_EQ(u"dhcp", events.m_strIPType);
}

}  // namespace
