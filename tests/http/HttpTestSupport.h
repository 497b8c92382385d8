// Shared by the http tests: the log lines this process wrote, free loopback
// ports, and the box simulator as a child process on 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "global/PathUtils.h"
#include "platform/Process.h"
#include "platform/Utf.h"

extern char** environ;

namespace httptest {

// Nothing of ours may reach a proxy by accident.
inline bool ClearProxyEnvironment() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                           "no_proxy", "NO_PROXY"})
    unsetenv(name);
  return true;
}
inline const bool kProxyCleared = ClearProxyEnvironment();

inline std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

// The messages this process adds to QenBoxClient.log after construction.
class LogCapture {
public:
  LogCapture() : m_path(U8(GetExeFolder()) + "QenBoxClient.log"), m_start(ReadAll().size()) {}

  std::vector<std::string> Lines() const {
    std::string bytes = ReadAll();
    std::u16string text;
    for (size_t i = m_start & ~size_t(1); i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    const std::string mark = "(" + std::to_string(platform::GetCurrentProcessId()) + "-";
    std::vector<std::string> lines;
    size_t pos = 0;
    std::string all = U8(text);
    while (pos < all.size()) {
      size_t end = all.find("\r\n", pos);
      std::string line = all.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      pos = end == std::string::npos ? all.size() : end + 2;
      size_t at = line.find(mark);
      size_t colon = at == std::string::npos ? at : line.find("): ", at);
      if (colon != std::string::npos)
        lines.push_back(line.substr(colon + 3));
    }
    return lines;
  }

  std::string Joined() const {
    std::string out;
    for (const std::string& line : Lines())
      out += line + "\n";
    return out;
  }

private:
  std::string ReadAll() const {
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string m_path;
  size_t m_start;
};

// A port nothing listens on right now (bound once and released).
inline uint16_t FreePort(int type = SOCK_STREAM) {
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

inline bool CanConnect(uint16_t port) {
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

inline std::string SimulatorPath() {
  if (const char* path = getenv("QENBOX_SIM_PATH"); path != nullptr && *path != '\0')
    return path;
  return U8(GetExeFolder()) + "../tools/qenbox-sim/qenbox-sim";
}

// qenbox-sim on 127.0.0.1 with a port of its own; stopped at the end of scope.
class Simulator {
public:
  explicit Simulator(const std::vector<std::string>& extra) {
    for (int attempt = 0; attempt < 5 && m_pid < 0; ++attempt)
      Launch(extra);
  }
  ~Simulator() {
    Stop();
    if (!m_logPath.empty())
      unlink(m_logPath.c_str());
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  bool Running() const { return m_pid > 0; }
  uint16_t Port() const { return m_port; }

  std::string Stop() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      int status = 0;
      waitpid(m_pid, &status, 0);
      m_pid = -1;
    }
    return Log();
  }

  std::string Log() const {
    std::ifstream in(m_logPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

private:
  void Launch(const std::vector<std::string>& extra) {
    m_port = FreePort();
    std::vector<std::string> args = {SimulatorPath(), "--ip", "127.0.0.1", "--udp-port",
                                     std::to_string(FreePort(SOCK_DGRAM)), "--http-port", std::to_string(m_port),
                                     "--restart-s", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_logPath = "/tmp/qenbox-sim-" + std::to_string(getpid()) + "-" + std::to_string(m_port) + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << argv[0];
      return;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return;  // it exited (port taken): try again
      if (CanConnect(m_port)) {
        m_pid = pid;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  pid_t m_pid = -1;
  uint16_t m_port = 0;
  std::string m_logPath;
};

}  // namespace httptest
