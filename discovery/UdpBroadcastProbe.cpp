#include "discovery/UdpBroadcastProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>
#include <vector>

#include "discovery/DiscoveryLog.h"
#include "discovery/SocketHandle.h"

namespace {

std::string AddressText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof(text)) == nullptr) {
    return {};
  }
  return text;
}

// One address of the sweep; true when the handler took the reply.
bool ProbeOne(CUdpClientEvents& events, const std::string& broadcast) {
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = htons(kQenBoxProbePort);
  destination.sin_addr.s_addr = inet_addr(broadcast.c_str());

  // A failed socket() shows up here too, as the failure to enable broadcast.
  CSocketHandle sock(::socket(AF_INET, SOCK_DGRAM, 0));
  const int on = 1;
  if (::setsockopt(sock.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
    WriteDiscoveryLog(u"Can't enable boardcast!");
    return false;
  }
  timeval timeout{};
  timeout.tv_sec = kQenBoxReceiveTimeoutSeconds;
  ::setsockopt(sock.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));

  bool taken = false;
  const size_t probeLength = sizeof(kQenBoxProbeText) - 1;
  if (::sendto(sock.Get(), kQenBoxProbeText, probeLength, 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof(destination)) >= 0) {
    std::vector<char> buffer(kQenBoxReplyBufferSize, '\0');
    sockaddr_in sender{};
    socklen_t senderLength = sizeof(sender);
    // MSG_TRUNC reports the datagram's full length: a longer one is no answer.
    const ssize_t received = ::recvfrom(sock.Get(), buffer.data(), buffer.size(), MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received >= 0 && static_cast<size_t>(received) <= buffer.size()) {
      // The reply is text up to its first NUL, bounded by what arrived.
      const size_t length = ::strnlen(buffer.data(), static_cast<size_t>(received));
      const std::string reply(buffer.data(), length);
      taken = !events.OnReply(broadcast, AddressText(sender.sin_addr), reply);
    }
  }
  if (!taken) {
    ::shutdown(sock.Get(), SHUT_RD);
  }
  return taken;
}

}  // namespace

bool GetBroadcastAddresses(std::set<std::string>& addresses,
                           const platform::AdapterSource& adapters) {
  addresses.clear();
  std::vector<platform::ADAPTER_IPV4> list;
  if (!adapters || !adapters(list) || list.empty()) {
    return false;
  }
  for (const platform::ADAPTER_IPV4& adapter : list) {
    // inet_addr as the adapter texts are read elsewhere: network byte order.
    in_addr broadcast{};
    broadcast.s_addr = inet_addr(adapter.strAddress.c_str()) | ~inet_addr(adapter.strMask.c_str());
    const std::string text = AddressText(broadcast);
    if (!text.empty()) {
      addresses.insert(text);
    }
  }
  return true;
}

int UdpBroadcastProbe(CUdpClientEvents& events, const platform::AdapterSource& adapters) {
  std::set<std::string> addresses;
  GetBroadcastAddresses(addresses, adapters);
  for (const std::string& broadcast : addresses) {
    if (ProbeOne(events, broadcast)) {
      return 0;
    }
  }
  return -1;
}
