// bench-setip [--rounds N]: median and p99 of one set-ip exchange
// (ExecuteConfigIPCore, the box answering 3802 so it never restarts) against a
// bare libcurl POST of the same body to the same simulator on 127.0.0.1, and
// the peak RSS of this process.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/ConfigIP.h"
#include "http/QenHttpFormData.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

uint16_t FreePort(int type) {
  int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  if (fd >= 0)
    close(fd);
  return port;
}

bool CanConnect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0)
    close(fd);
  return ok;
}

struct Stats {
  double median = 0;
  double p99 = 0;
};

Stats Measure(int rounds, const std::function<bool()>& once, int& failures) {
  for (int i = 0; i < 20; ++i)
    once();
  std::vector<double> us;
  us.reserve(rounds);
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    if (!once())
      ++failures;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(us.begin(), us.end());
  Stats s;
  s.median = us[us.size() / 2];
  s.p99 = us[std::min(us.size() - 1, static_cast<size_t>(us.size() * 0.99))];
  return s;
}

size_t Discard(char*, size_t size, size_t count, void* sink) {
  static_cast<std::string*>(sink)->append(size * count, '\0');
  return size * count;
}

struct EasyDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct SlistDeleter {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = 500;
  if (argc == 3 && std::string(argv[1]) == "--rounds")
    rounds = std::max(1, std::atoi(argv[2]));
  else if (argc != 1) {
    std::fprintf(stderr, "usage: bench-setip [--rounds N]\n");
    return 2;
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY", "no_proxy"})
    unsetenv(name);

  uint16_t port = FreePort(SOCK_STREAM);
  std::vector<std::string> args = {QENBOX_SIM_PATH, "--ip", "127.0.0.1", "--udp-port",
                                   std::to_string(FreePort(SOCK_DGRAM)), "--http-port", std::to_string(port),
                                   "--password", "not-the-one-we-send"};
  std::vector<char*> simArgv;
  for (std::string& arg : args)
    simArgv.push_back(arg.data());
  simArgv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t sim = -1;
  if (posix_spawn(&sim, simArgv[0], &actions, nullptr, simArgv.data(), environ) != 0) {
    std::fprintf(stderr, "bench-setip: cannot start %s\n", simArgv[0]);
    return 1;
  }
  posix_spawn_file_actions_destroy(&actions);
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!CanConnect(port) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  CONFIG_IP_DATA data{u"127.0.0.1", u"admin", u"admin", u"192.0.2.30", u"255.255.255.0", u"192.0.2.1"};
  SetConfigIPPort(port);
  int oursFailed = 0;
  Stats ours = Measure(rounds, [&data] {
    int32_t code = 0;
    std::u16string message;
    return !ExecuteConfigIPCore(data, code, message) && code == 3802;
  }, oursFailed);

  CQenHttpFormData form;
  form.AddField(u"username", data.strUserName);
  form.AddField(u"password", data.strPassword);
  form.AddField(u"ip", data.strIP);
  form.AddField(u"netmask", data.strSubnetMask);
  form.AddField(u"gateway", data.strGateway);
  const std::string body = form.GetBody();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/manage_console/set-ip";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  int bareFailed = 0;
  Stats bare = Measure(rounds, [&] {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
    std::string reply;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply);
    return curl_easy_perform(easy.get()) == CURLE_OK && reply.size() > 0;
  }, bareFailed);

  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("rounds                  %d each (+20 warm-up)\n", rounds);
  std::printf("ExecuteConfigIPCore     median %8.1f us   p99 %8.1f us   unexpected %d\n", ours.median, ours.p99,
              oursFailed);
  std::printf("bare libcurl POST       median %8.1f us   p99 %8.1f us   failed %d\n", bare.median, bare.p99,
              bareFailed);
  std::printf("ratio                   median %8.2f      p99 %8.2f      (target <= 3)\n", ours.median / bare.median,
              ours.p99 / bare.p99);
  std::printf("peak RSS                %ld KiB\n", usage.ru_maxrss);
  return oursFailed == 0 && bareFailed == 0 ? 0 : 1;
}
