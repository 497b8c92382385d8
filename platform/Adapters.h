// The machine's adapter list as the discovery probe needs it: per adapter the
// first IPv4 address and its mask, as dotted-decimal texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ifaddrs;

namespace platform {

struct ADAPTER_IPV4 {
  std::string strAddress;  // "0.0.0.0" for an adapter without IPv4
  std::string strMask;
};

// Fills list; false when the list cannot be read (list left empty).
using AdapterSource = std::function<bool(std::vector<ADAPTER_IPV4>& list)>;

// The real source: getifaddrs of the calling thread's network namespace.
bool GetAdaptersIpv4(std::vector<ADAPTER_IPV4>& list);

// The rules applied to a getifaddrs list: interfaces in the list's order,
// loopback left out, the first AF_INET entry of each; an interface that is up
// without any IPv4 address gives 0.0.0.0/0.0.0.0, as a disconnected adapter does.
std::vector<ADAPTER_IPV4> AdaptersFromIfAddrs(const ifaddrs* head);

}  // namespace platform
