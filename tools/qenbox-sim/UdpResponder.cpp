#include "tools/qenbox-sim/UdpResponder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <json/json.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/qenbox-sim/SimLog.h"

namespace {

constexpr char kProbe[] = "find qenbox";
constexpr size_t kProbeLength = sizeof(kProbe) - 1;

std::string PeerText(const sockaddr_in& peer) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// A datagram socket bound to address (empty: any) and port (0: any).
CSocketHandle BoundSocket(const std::string& address, uint16_t port, std::string& error) {
  CSocketHandle fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!address.empty()) {
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
  }
  if (!fd.IsValid() || bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    error = Errno(("bind " + (address.empty() ? "0.0.0.0" : address) + ":" + std::to_string(port)).c_str());
    return CSocketHandle();
  }
  return fd;
}

std::string BoxJson(const std::string& ip, const std::string& ipType) {
  Json::Value root(Json::objectValue);
  root["ip"] = ip;
  root["iptype"] = ipType;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, root);
}

}  // namespace

UdpResponder::UdpResponder(const BoxState& state, const SimOptions& options)
    : m_state(state), m_options(options) {}

UdpResponder::~UdpResponder() { Stop(); }

bool UdpResponder::Start(std::string& error) {
  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = Errno("pipe");
    return false;
  }
  m_stopRead = CSocketHandle(pipeFds[0]);
  m_stopWrite = CSocketHandle(pipeFds[1]);

  m_socket = CSocketHandle(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  if (!m_socket.IsValid() ||
      setsockopt(m_socket.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) != 0) {
    error = Errno("socket");
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(m_options.nUdpPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    error = Errno("bind 0.0.0.0");
    return false;
  }
  if (!m_options.strReplyFrom.empty() || m_options.nReplyFromPort != 0) {
    m_replySocket = BoundSocket(m_options.strReplyFrom, m_options.nReplyFromPort, error);
    if (!m_replySocket.IsValid()) {
      return false;
    }
  }
  if (!m_options.strAlsoBox.empty()) {
    m_alsoSocket = BoundSocket(m_options.strAlsoBox, 0, error);
    if (!m_alsoSocket.IsValid()) {
      return false;
    }
  }
  const BoxState::Snapshot box = m_state.Get();
  SimLog("listening on 0.0.0.0:" + std::to_string(m_options.nUdpPort) + " as " + box.strIp + " (" +
         box.strIpType + ")" + (m_options.bSilent ? ", silent" : ""));
  m_thread = std::thread([this] { Run(); });
  return true;
}

void UdpResponder::Stop() {
  if (m_thread.joinable()) {
    const char byte = 1;
    if (write(m_stopWrite.Get(), &byte, 1) != 1) {
      SimLog(Errno("stop"));
    }
    m_thread.join();
  }
}

bool UdpResponder::WaitStop(int timeoutMs) {
  pollfd fd{m_stopRead.Get(), POLLIN, 0};
  return poll(&fd, 1, timeoutMs) > 0;
}

void UdpResponder::Run() {
  std::vector<char> buffer(65536);
  for (;;) {
    pollfd fds[2] = {{m_socket.Get(), POLLIN, 0}, {m_stopRead.Get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      SimLog(Errno("poll"));
      return;
    }
    if (fds[1].revents != 0) {
      return;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof(peer);
    const ssize_t received = recvfrom(m_socket.Get(), buffer.data(), buffer.size(), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received < 0) {
      SimLog(Errno("recvfrom"));
      continue;
    }
    const size_t length = static_cast<size_t>(received);
    const std::string_view bytes(buffer.data(), length < buffer.size() ? length : buffer.size());
    const std::string peerText = PeerText(peer);
    SimLog("received " + std::to_string(length) + " bytes from " + peerText + ": " +
           QuoteBytes(bytes));
    if (length != kProbeLength || bytes != std::string_view(kProbe, kProbeLength)) {
      SimLog("ignored: not a probe");
      continue;
    }
    if (m_options.bSilent) {
      SimLog("silent: no answer");
      continue;
    }
    if (m_state.IsRestarting()) {
      SimLog("restarting: no answer");
      continue;
    }
    if (m_options.nReplyDelayMs > 0 && WaitStop(m_options.nReplyDelayMs)) {
      return;
    }
    Answer(peerText, &peer, peerLength);
  }
}

void UdpResponder::Answer(const std::string& peerText, const void* peer, unsigned peerLength) {
  const BoxState::Snapshot box = m_state.Get();
  if (m_alsoSocket.IsValid()) {
    const std::string other = BoxJson(m_options.strAlsoBox, box.strIpType);
    const ssize_t sent = sendto(m_alsoSocket.Get(), other.data(), other.size(), 0,
                                static_cast<const sockaddr*>(peer), peerLength);
    SimLog(sent < 0 ? Errno(("sendto " + peerText + " as the second box").c_str())
                    : "sent " + std::to_string(sent) + " bytes to " + peerText + " as the second box " +
                          m_options.strAlsoBox + ": " + QuoteBytes(other));
  }
  const std::string reply = m_options.bRawReply ? m_options.strRawReply : BoxJson(box.strIp, box.strIpType);
  const int fd = m_replySocket.IsValid() ? m_replySocket.Get() : m_socket.Get();
  const ssize_t sent = sendto(fd, reply.data(), reply.size(), 0,
                              static_cast<const sockaddr*>(peer), peerLength);
  if (sent < 0) {
    SimLog(Errno(("sendto " + peerText).c_str()));
    return;
  }
  std::string from = m_options.strReplyFrom.empty() ? "" : " from " + m_options.strReplyFrom;
  if (m_options.nReplyFromPort != 0) {
    from += (from.empty() ? " from port " : ":") + std::to_string(m_options.nReplyFromPort);
  }
  SimLog("sent " + std::to_string(sent) + " bytes to " + peerText + from + ": " + QuoteBytes(reply));
}
