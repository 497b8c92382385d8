#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace tests {

// The whole file as raw bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Waits for a child until the deadline; past it the child is killed and
// reaped so that no stray writer outlives the test.
inline bool WaitForChild(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t rc = waitpid(pid, &status, WNOHANG);
    if (rc == pid) return true;
    if (rc < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return false;
}

}  // namespace tests
