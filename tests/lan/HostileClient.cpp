// lan_hostile_client: what the hostile-box tests run in the client namespace.
//
//   lan_hostile_client run PROGRAM ARGS...
//       copies PROGRAM next to itself (so its log file lands in this folder),
//       runs the copy, exits as it did and adds "peak-rss-kib N" to stderr.
//   lan_hostile_client setip RECEIVE_CAP_MS BOX USER PASSWORD IP NETMASK
//       the set-ip exchange with every body read capped at RECEIVE_CAP_MS,
//       printed like qenbox-setip (code, message), then its own peak.
//
// Exit status: the program's, 0/1 for setip as qenbox-setip, 2 bad usage,
// 127 the program could not be started, 128+N killed by signal N.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "http/ConfigIP.h"
#include "platform/Internet.h"
#include "platform/Utf.h"

namespace {

int Usage() {
  std::fputs("usage: lan_hostile_client run PROGRAM ARGS...\n"
             "       lan_hostile_client setip RECEIVE_CAP_MS BOX USER PASSWORD IP NETMASK\n",
             stderr);
  return 2;
}

void PrintPeak(long kib) { std::fprintf(stderr, "peak-rss-kib %ld\n", kib); }

int Run(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path copy = self.parent_path() / ("child-" + fs::path(argv[2]).filename().string());
  if (error || !fs::copy_file(argv[2], copy, fs::copy_options::overwrite_existing, error)) {
    std::fprintf(stderr, "cannot copy %s: %s\n", argv[2], error.message().c_str());
    return 127;
  }
  chmod(copy.c_str(), 0755);
  std::vector<std::string> args(argv + 2, argv + argc);
  args[0] = copy.string();
  std::vector<char*> raw;
  for (std::string& arg : args)
    raw.push_back(arg.data());
  raw.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0)
    return 127;
  if (pid == 0) {
    // The tests kill us at their time limit; the program goes with us.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
      _exit(127);
    execv(raw[0], raw.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR)
      return 127;
  }
  PrintPeak(usage.ru_maxrss);
  if (WIFSIGNALED(status))
    return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}

int SetIp(char** argv) {
  char* end = nullptr;
  const long capMs = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || capMs <= 0)
    return Usage();
  platform::SetInternetTimeoutsForTest(0, 0, static_cast<uint32_t>(capMs));
  CONFIG_IP_DATA data;
  data.strBoxIP = platform::Utf8ToUtf16(argv[3]);
  data.strUserName = platform::Utf8ToUtf16(argv[4]);
  data.strPassword = platform::Utf8ToUtf16(argv[5]);
  data.strIP = platform::Utf8ToUtf16(argv[6]);
  data.strSubnetMask = platform::Utf8ToUtf16(argv[7]);
  int32_t code = 0;
  std::u16string message;
  const bool ok = ExecuteConfigIPCore(data, code, message);
  std::cout << code << "\n" << platform::Utf16ToUtf8(message) << "\n" << std::flush;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  PrintPeak(usage.ru_maxrss);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "run" && argc >= 3)
    return Run(argc, argv);
  if (mode == "setip" && argc == 8)
    return SetIp(argv);
  return Usage();
}
