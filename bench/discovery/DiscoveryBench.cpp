// Times the find procedure against a raw UDP request/response with the same
// simulator, and the CPU the procedure uses while it waits on a silent network.
// Run only inside the namespace LAN of run-bench: the box on 192.0.2.0/24, a
// second, silent network on 198.51.100.0/24.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/FindQenBoxClient.h"
#include "discovery/SocketHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_lastSend;

}  // namespace

// Stands in for the C library's sendto in this program only, to note when the
// probe leaves: the find procedure is timed from there, as the raw exchange is.
extern "C" ssize_t sendto(int fd, const void* data, size_t size, int flags, const sockaddr* to,
                          socklen_t toLength) {
  g_lastSend = Clock::now();
  return syscall(SYS_sendto, fd, data, size, flags, to, toLength);
}

namespace {

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The minimal exchange: one socket for all rounds, one datagram out, one in.
class RawPing {
public:
  bool Open() {
    m_socket = CSocketHandle(socket(AF_INET, SOCK_DGRAM, 0));
    const int on = 1;
    timeval timeout{10, 0};
    m_to.sin_family = AF_INET;
    m_to.sin_port = htons(9269);
    inet_pton(AF_INET, "192.0.2.255", &m_to.sin_addr);
    return m_socket.IsValid() &&
           setsockopt(m_socket.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) == 0 &&
           setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) == 0;
  }
  bool Round() {
    char buffer[1024];
    if (sendto(m_socket.Get(), "find qenbox", 11, 0, reinterpret_cast<const sockaddr*>(&m_to),
               sizeof(m_to)) != 11) {
      return false;
    }
    return recv(m_socket.Get(), buffer, sizeof(buffer), 0) > 0;
  }

private:
  CSocketHandle m_socket;
  sockaddr_in m_to{};
};

struct Stats {
  double median;
  double p99;
};

Stats Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    const size_t i = static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[i];
  };
  return Stats{at(0.5), at(0.99)};
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 300;
  if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
    rounds = std::atoi(argv[2]);
  } else if (argc != 1) {
    std::fputs("usage: discovery-bench [--rounds N]   (inside the bench LAN only)\n", stderr);
    return 2;
  }
  if (rounds < 200) {
    std::fputs("discovery-bench: at least 200 rounds\n", stderr);
    return 2;
  }

  RawPing raw;
  if (!raw.Open()) {
    std::perror("discovery-bench: socket");
    return 1;
  }
  std::vector<double> rawTimes;
  std::vector<double> findTimes;  // probe sent -> result returned
  std::vector<double> callTimes;  // whole call, adapter list and socket set-up included
  const int warmUp = 20;
  for (int i = 0; i < warmUp + rounds; ++i) {
    // Interleaved, so both see the same machine load.
    const auto t0 = Clock::now();
    if (!raw.Round()) {
      std::fputs("discovery-bench: the raw exchange got no answer\n", stderr);
      return 1;
    }
    const auto t1 = Clock::now();
    const QENBOXCLIENTDATA box = FindQenBoxClient(0, 1);
    const auto t2 = Clock::now();
    if (box.strIPAddress.empty()) {
      std::fputs("discovery-bench: FindQenBoxClient found nothing\n", stderr);
      return 1;
    }
    if (i >= warmUp) {
      rawTimes.push_back(Micros(t1 - t0));
      findTimes.push_back(Micros(t2 - g_lastSend));
      callTimes.push_back(Micros(t2 - t1));
    }
  }
  const Stats rawStats = Summarise(rawTimes);
  const Stats findStats = Summarise(findTimes);
  const Stats callStats = Summarise(callTimes);

  // Only the silent network in the adapter list: one sweep is one 10 s wait.
  const platform::AdapterSource silentOnly = [](std::vector<platform::ADAPTER_IPV4>& list) {
    list = {{"198.51.100.10", "255.255.255.0"}};
    return true;
  };
  const double cpu0 = CpuSeconds();
  const auto w0 = Clock::now();
  const QENBOXCLIENTDATA none = FindQenBoxClient(0, 1, silentOnly);
  const double wall = std::chrono::duration<double>(Clock::now() - w0).count();
  const double cpu = CpuSeconds() - cpu0;

  std::printf("discovery bench, %d rounds (after %d warm-up) against qenbox-sim\n", rounds, warmUp);
  std::printf("  raw UDP ping-pong           median %8.1f us   p99 %8.1f us\n", rawStats.median,
              rawStats.p99);
  std::printf("  FindQenBoxClient, 1 sweep   median %8.1f us   p99 %8.1f us   (probe sent -> result)\n",
              findStats.median, findStats.p99);
  std::printf("  ratio find/raw              median %8.2f      p99 %8.2f      (target <= 2)\n",
              findStats.median / rawStats.median, findStats.p99 / rawStats.p99);
  std::printf("  FindQenBoxClient, whole call median %7.1f us   p99 %8.1f us   (ratio %.2f / %.2f)\n",
              callStats.median, callStats.p99, callStats.median / rawStats.median,
              callStats.p99 / rawStats.p99);
  std::printf("  silent wait, 1 sweep        wall %.2f s, client CPU %.3f ms%s  (target ~0)\n", wall,
              cpu * 1000.0, none.strIPAddress.empty() ? "" : " (unexpected answer!)");
  return 0;
}
