#include "tools/qenbox-sim/BoxState.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "tools/qenbox-sim/SimLog.h"

extern char** environ;

namespace {

struct IfAddrsDeleter {
  void operator()(ifaddrs* list) const noexcept { freeifaddrs(list); }
};

// The interface that carries ip, or empty.
std::string InterfaceOf(const std::string& ip) {
  in_addr wanted{};
  if (inet_pton(AF_INET, ip.c_str(), &wanted) != 1) {
    return {};
  }
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) {
    return {};
  }
  std::unique_ptr<ifaddrs, IfAddrsDeleter> list(raw);
  for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      sockaddr_in address{};
      std::memcpy(&address, entry->ifa_addr, sizeof(address));
      if (address.sin_addr.s_addr == wanted.s_addr) {
        return entry->ifa_name;
      }
    }
  }
  return {};
}

// Prefix length of a contiguous mask, or -1.
int PrefixLength(const std::string& mask) {
  in_addr value{};
  if (inet_pton(AF_INET, mask.c_str(), &value) != 1) {
    return -1;
  }
  const uint32_t bits = ntohl(value.s_addr);
  const uint32_t inverted = ~bits;
  if ((inverted & (inverted + 1)) != 0) {
    return -1;
  }
  return __builtin_popcount(bits);
}

bool RunIp(std::vector<std::string> args) {
  args.insert(args.begin(), "ip");
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) {
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

BoxState::BoxState(std::string ip, std::string netmask, std::string ipType)
    : m_state{std::move(ip), std::move(netmask), std::move(ipType)} {}

BoxState::Snapshot BoxState::Get() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_state;
}

bool BoxState::MoveAddress(const std::string& ip, const std::string& netmask,
                           const std::string& ipType) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int prefix = PrefixLength(netmask);
  in_addr parsed{};
  if (prefix < 0 || inet_pton(AF_INET, ip.c_str(), &parsed) != 1) {
    SimLog("refusing to move to " + ip + "/" + netmask + ": not an IPv4 address and mask");
    return false;
  }
  // Only an address this namespace really carries is moved; the simulator
  // never touches an interface it was not given.
  const std::string device = InterfaceOf(m_state.strIp);
  if (device.empty()) {
    SimLog("refusing to move: no interface carries " + m_state.strIp);
    return false;
  }
  if (!RunIp({"addr", "flush", "dev", device}) ||
      !RunIp({"addr", "add", ip + "/" + std::to_string(prefix), "brd", "+", "dev", device})) {
    SimLog("moving " + device + " to " + ip + "/" + std::to_string(prefix) + " failed");
    return false;
  }
  SimLog("moved " + device + " from " + m_state.strIp + " to " + ip + "/" + std::to_string(prefix));
  m_state = Snapshot{ip, netmask, ipType};
  return true;
}
