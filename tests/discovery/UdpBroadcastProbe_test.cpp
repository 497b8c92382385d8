#include "discovery/UdpBroadcastProbe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "discovery/DiscoveryLog.h"

using platform::ADAPTER_IPV4;

namespace {

platform::AdapterSource FixedAdapters(std::vector<ADAPTER_IPV4> list) {
  return [list](std::vector<ADAPTER_IPV4>& out) {
    out = list;
    return true;
  };
}

struct RecordingEvents final : CUdpClientEvents {
  bool OnReply(const std::string& broadcast, const std::string&, const std::string&) override {
    m_probed.push_back(broadcast);
    return true;
  }
  std::vector<std::string> m_probed;
};

class LogCapture {
public:
  LogCapture() {
    SetDiscoveryLogSink([this](std::u16string_view text) { m_lines.emplace_back(text); });
  }
  ~LogCapture() { SetDiscoveryLogSink({}); }
  std::vector<std::u16string> m_lines;
};

TEST(GetBroadcastAddresses, BuildsOneOrderedTextPerSubnet) {
  struct Row {
    const char* name;
    std::vector<ADAPTER_IPV4> adapters;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"slash 24", {{"192.168.1.20", "255.255.255.0"}}, {"192.168.1.255"}},
      {"slash 16", {{"192.168.1.20", "255.255.0.0"}}, {"192.168.255.255"}},
      {"disconnected adapter", {{"0.0.0.0", "0.0.0.0"}}, {"255.255.255.255"}},
      {"same subnet once",
       {{"192.168.1.20", "255.255.255.0"}, {"192.168.1.77", "255.255.255.0"}},
       {"192.168.1.255"}},
      {"ascending text order",
       {{"0.0.0.0", "0.0.0.0"}, {"192.168.1.3", "255.255.255.0"}, {"10.1.2.3", "255.255.255.0"}},
       {"10.1.2.255", "192.168.1.255", "255.255.255.255"}},
      // Byte-wise, not numeric: "9.x" sorts after "198.x".
      {"text order is not numeric order",
       {{"9.0.0.1", "255.0.0.0"}, {"198.51.100.10", "255.255.255.0"}},
       {"198.51.100.255", "9.255.255.255"}},
      {"host mask keeps the address", {{"192.0.2.10", "255.255.255.255"}}, {"192.0.2.10"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::set<std::string> addresses{"stale"};
    EXPECT_TRUE(GetBroadcastAddresses(addresses, FixedAdapters(row.adapters)));
    EXPECT_EQ(row.expected, std::vector<std::string>(addresses.begin(), addresses.end()));
  }
}

TEST(GetBroadcastAddresses, UnreadableOrEmptyListGivesEmptySet) {
  struct Row {
    const char* name;
    platform::AdapterSource source;
  };
  const Row rows[] = {
      {"unreadable", [](std::vector<ADAPTER_IPV4>&) { return false; }},
      {"no adapters", FixedAdapters({})},
      {"no source", platform::AdapterSource()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::set<std::string> addresses{"stale"};
    EXPECT_FALSE(GetBroadcastAddresses(addresses, row.source));
    EXPECT_TRUE(addresses.empty());
  }
}

TEST(UdpBroadcastProbe, EmptySetReturnsAtOnceWithoutCallingTheHandler) {
  LogCapture log;
  RecordingEvents events;
  EXPECT_EQ(-1, UdpBroadcastProbe(events, FixedAdapters({})));
  EXPECT_TRUE(events.m_probed.empty());
  EXPECT_TRUE(log.m_lines.empty());
}

// With no descriptor left, socket() fails; that shows up as the broadcast
// option failing, once per address, and the sweep goes on. Loopback addresses
// only, so nothing could leave the machine even if a socket were created.
TEST(UdpBroadcastProbe, SocketFailureLogsOncePerAddressAndContinues) {
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
  std::vector<int> fillers;
  for (;;) {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      break;
    }
    fillers.push_back(fd);
  }
  const int openErrno = errno;

  int result = 0;
  std::vector<std::u16string> lines;
  RecordingEvents events;
  {
    LogCapture log;
    result = UdpBroadcastProbe(
        events, FixedAdapters({{"127.0.0.1", "255.0.0.0"}, {"127.0.0.2", "255.255.255.255"}}));
    lines = log.m_lines;
  }
  for (const int fd : fillers) {
    close(fd);
  }
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));

  ASSERT_EQ(EMFILE, openErrno);
  EXPECT_EQ(-1, result);
  EXPECT_TRUE(events.m_probed.empty());
  EXPECT_EQ(std::vector<std::u16string>({u"Can't enable boardcast!", u"Can't enable boardcast!"}),
            lines);
}

}  // namespace
