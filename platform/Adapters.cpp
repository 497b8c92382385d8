#include "platform/Adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

namespace platform {

namespace {

struct IfAddrsDeleter {
  void operator()(ifaddrs* list) const noexcept { freeifaddrs(list); }
};

std::string Ipv4Text(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) {
    return "0.0.0.0";
  }
  sockaddr_in in{};
  std::memcpy(&in, address, sizeof(in));
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof(text)) == nullptr) {
    return "0.0.0.0";
  }
  return text;
}

struct Interface {
  std::string strName;
  bool bUp = false;
  bool bHasIpv4 = false;
  ADAPTER_IPV4 first;
};

}  // namespace

std::vector<ADAPTER_IPV4> AdaptersFromIfAddrs(const ifaddrs* head) {
  // getifaddrs lists one entry per interface and family; the AF_PACKET
  // entries come first and give the kernel's interface order.
  std::vector<Interface> interfaces;
  for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    Interface* known = nullptr;
    for (Interface& item : interfaces) {
      if (item.strName == entry->ifa_name) {
        known = &item;
        break;
      }
    }
    if (known == nullptr) {
      interfaces.push_back(Interface{entry->ifa_name, false, false, {}});
      known = &interfaces.back();
    }
    known->bUp = known->bUp || (entry->ifa_flags & IFF_UP) != 0;
    if (!known->bHasIpv4 && entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      known->bHasIpv4 = true;
      known->first.strAddress = Ipv4Text(entry->ifa_addr);
      known->first.strMask = Ipv4Text(entry->ifa_netmask);
    }
  }

  std::vector<ADAPTER_IPV4> list;
  for (const Interface& item : interfaces) {
    if (item.bHasIpv4) {
      list.push_back(item.first);
    } else if (item.bUp) {
      list.push_back(ADAPTER_IPV4{"0.0.0.0", "0.0.0.0"});
    }
  }
  return list;
}

bool GetAdaptersIpv4(std::vector<ADAPTER_IPV4>& list) {
  list.clear();
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) {
    return false;
  }
  std::unique_ptr<ifaddrs, IfAddrsDeleter> owner(raw);
  list = AdaptersFromIfAddrs(owner.get());
  return true;
}

}  // namespace platform
