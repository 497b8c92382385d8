// The adapter rules the probe relies on, applied to hand-built getifaddrs lists.
#include "platform/Adapters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

using platform::ADAPTER_IPV4;

namespace {

// Owns the nodes and addresses of a fake getifaddrs list.
class FakeIfAddrs {
public:
  FakeIfAddrs() = default;
  FakeIfAddrs(const FakeIfAddrs&) = delete;
  FakeIfAddrs& operator=(const FakeIfAddrs&) = delete;

  FakeIfAddrs& Packet(const char* name, unsigned flags) { return Add(name, flags, Family(AF_PACKET), nullptr); }
  FakeIfAddrs& Inet(const char* name, unsigned flags, const char* address, const char* mask) {
    return Add(name, flags, Ipv4(address), Ipv4(mask));
  }
  FakeIfAddrs& Inet6(const char* name, unsigned flags) { return Add(name, flags, Family(AF_INET6), nullptr); }
  const ifaddrs* Head() const { return m_nodes.empty() ? nullptr : &m_nodes.front(); }

private:
  sockaddr* Family(int family) {
    sockaddr_storage& storage = m_addresses.emplace_back();
    std::memset(&storage, 0, sizeof(storage));
    storage.ss_family = static_cast<sa_family_t>(family);
    return reinterpret_cast<sockaddr*>(&storage);
  }
  sockaddr* Ipv4(const char* text) {
    sockaddr* address = Family(AF_INET);
    inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in*>(address)->sin_addr);
    return address;
  }
  FakeIfAddrs& Add(const char* name, unsigned flags, sockaddr* address, sockaddr* mask) {
    ifaddrs& node = m_nodes.emplace_back();
    std::memset(&node, 0, sizeof(node));
    node.ifa_name = const_cast<char*>(name);
    node.ifa_flags = flags;
    node.ifa_addr = address;
    node.ifa_netmask = mask;
    if (m_nodes.size() > 1) {
      m_nodes[m_nodes.size() - 2].ifa_next = &node;
    }
    return *this;
  }
  std::deque<ifaddrs> m_nodes;  // deque: nodes keep their addresses
  std::deque<sockaddr_storage> m_addresses;
};

constexpr unsigned kUp = IFF_UP | IFF_BROADCAST;
constexpr unsigned kLoop = IFF_UP | IFF_LOOPBACK;

TEST(AdaptersFromIfAddrs, FirstIpv4PerInterfaceInKernelOrder) {
  struct Row {
    const char* name;
    std::function<void(FakeIfAddrs&)> fill;
    std::vector<ADAPTER_IPV4> expected;
  };
  const Row rows[] = {
      {"loopback left out",
       [](FakeIfAddrs& l) {
         l.Packet("lo", kLoop).Packet("eth0", kUp).Inet("lo", kLoop, "127.0.0.1", "255.0.0.0")
             .Inet("eth0", kUp, "192.0.2.10", "255.255.255.0");
       },
       {{"192.0.2.10", "255.255.255.0"}}},
      {"first IPv4 address only",
       [](FakeIfAddrs& l) {
         l.Packet("eth0", kUp).Inet("eth0", kUp, "192.0.2.10", "255.255.255.0")
             .Inet("eth0", kUp, "198.51.100.10", "255.255.0.0");
       },
       {{"192.0.2.10", "255.255.255.0"}}},
      {"interface order of the packet entries",
       [](FakeIfAddrs& l) {
         l.Packet("vc2", kUp).Packet("vc1", kUp).Inet("vc2", kUp, "198.51.100.10", "255.255.255.0")
             .Inet("vc1", kUp, "192.0.2.10", "255.255.255.0");
       },
       {{"198.51.100.10", "255.255.255.0"}, {"192.0.2.10", "255.255.255.0"}}},
      {"up without IPv4 counts as disconnected",
       [](FakeIfAddrs& l) { l.Packet("eth0", kUp).Inet6("eth0", kUp); },
       {{"0.0.0.0", "0.0.0.0"}}},
      {"down without IPv4 left out",
       [](FakeIfAddrs& l) {
         l.Packet("tunl0", IFF_NOARP).Packet("eth0", kUp)
             .Inet("eth0", kUp, "192.0.2.10", "255.255.255.0");
       },
       {{"192.0.2.10", "255.255.255.0"}}},
      {"empty list", [](FakeIfAddrs&) {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeIfAddrs fake;
    row.fill(fake);
    const std::vector<ADAPTER_IPV4> list = platform::AdaptersFromIfAddrs(fake.Head());
    ASSERT_EQ(row.expected.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(row.expected[i].strAddress, list[i].strAddress);
      EXPECT_EQ(row.expected[i].strMask, list[i].strMask);
    }
  }
}

}  // namespace
