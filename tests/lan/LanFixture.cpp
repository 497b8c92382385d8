#include "tests/lan/LanFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/Utf.h"

extern char** environ;

const char* const kQenBoxSimPath = QENBOX_SIM_PATH;
const char* const kQenBoxFindPath = QENBOX_FIND_PATH;
#ifdef QENBOX_SETIP_PATH
const char* const kQenBoxSetIpPath = QENBOX_SETIP_PATH;
#else
const char* const kQenBoxSetIpPath = "";
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Starts argv with stdin from /dev/null and stdout/stderr into the files
// (the same file for both when errPath is empty); -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& outPath,
            const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (errPath.empty()) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  std::vector<std::string> copy = argv;
  std::vector<char*> raw;
  for (std::string& arg : copy) {
    raw.push_back(arg.data());
  }
  raw.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Waits for pid until the deadline; kills it then. The exit code, or -1.
int WaitUntil(pid_t pid, Clock::time_point deadline, bool& timedOut) {
  timedOut = false;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      break;
    }
    if (done < 0) {
      return -1;
    }
    if (Clock::now() >= deadline) {
      timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The messages of a UTF-16LE log: the text after the "(pid-tid): " stamp.
std::vector<std::string> LogMessages(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  if (!text.empty() && text[0] == 0xFEFF) {
    text.erase(0, 1);
  }
  std::vector<std::string> messages;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) {
      end = text.size();
    }
    const std::u16string line = text.substr(start, end - start);
    const size_t stamp = line.find(u"): ");
    messages.push_back(platform::Utf16ToUtf8(stamp == std::u16string::npos ? line
                                                                           : line.substr(stamp + 3)));
    start = end + 2;
  }
  return messages;
}

}  // namespace

std::string ReadLanFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void LanFixture::SetUp() {
  if (geteuid() != 0) {
    GTEST_SKIP() << "namespace LAN tests need root (ip netns add); run them as root";
  }
  static int counter = 0;
  // The pid and a letter per fixture in this process: unique, and short
  // enough for interface names (at most 15 characters).
  m_strId = std::to_string(getpid()) + static_cast<char>('a' + counter++ % 26);
  char dir[] = "/tmp/qenbox-lan-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  m_strTempDir = dir;
}

void LanFixture::TearDown() {
  Stop(m_box);
  Stop(m_box2);
  for (auto it = m_namespaces.rbegin(); it != m_namespaces.rend(); ++it) {
    Ip({"netns", "del", *it});
  }
  m_namespaces.clear();
  // A veth pair that never reached its namespaces stays here; remove it too.
  if (!m_strId.empty()) {
    Ip({"link", "del", "vc-" + m_strId});
    Ip({"link", "del", "vc2-" + m_strId});
  }
  if (!m_strTempDir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_strTempDir, ignored);
  }
}

bool LanFixture::Ip(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ip"};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = Spawn(argv, "/dev/null", "");
  if (pid < 0) {
    return false;
  }
  bool timedOut = false;
  return WaitUntil(pid, Clock::now() + std::chrono::seconds(20), timedOut) == 0;
}

bool LanFixture::LinkPair(const std::string& clientIf, const std::string& boxIf,
                          const std::string& boxNs, const std::string& clientAddr,
                          const std::string& boxAddr) {
  if (!Ip({"netns", "add", boxNs})) {
    return false;
  }
  m_namespaces.push_back(boxNs);
  return Ip({"link", "add", clientIf, "type", "veth", "peer", "name", boxIf}) &&
         Ip({"link", "set", clientIf, "netns", m_strClientNs}) &&
         Ip({"link", "set", boxIf, "netns", boxNs}) &&
         Ip({"-n", m_strClientNs, "addr", "add", clientAddr, "brd", "+", "dev", clientIf}) &&
         Ip({"-n", boxNs, "addr", "add", boxAddr, "brd", "+", "dev", boxIf}) &&
         Ip({"-n", m_strClientNs, "link", "set", clientIf, "up"}) &&
         Ip({"-n", boxNs, "link", "set", boxIf, "up"}) &&
         Ip({"-n", boxNs, "link", "set", "lo", "up"});
}

bool LanFixture::CreateLan(bool secondLan) {
  m_strClientNs = "qbc-" + m_strId;
  bool ok = Ip({"netns", "add", m_strClientNs});
  if (ok) {
    m_namespaces.push_back(m_strClientNs);
    ok = Ip({"-n", m_strClientNs, "link", "set", "lo", "up"}) &&
         LinkPair("vc-" + m_strId, BoxInterface(LanSide::kBox), BoxNs(LanSide::kBox), "192.0.2.10/24",
                  "192.0.2.20/24");
  }
  if (ok && secondLan) {
    ok = LinkPair("vc2-" + m_strId, BoxInterface(LanSide::kBox2), BoxNs(LanSide::kBox2), "198.51.100.10/24",
                  "198.51.100.20/24");
  }
  EXPECT_TRUE(ok) << "could not create the namespace LAN " << m_strId;
  return ok;
}

std::string LanFixture::BoxNs(LanSide side) const {
  return (side == LanSide::kBox ? "qbb-" : "qbb2-") + m_strId;
}

std::string LanFixture::BoxInterface(LanSide side) const {
  return (side == LanSide::kBox ? "vb-" : "vb2-") + m_strId;
}

bool LanFixture::StartSimulator(const std::vector<std::string>& args, LanSide side) {
  Background& sim = Sim(side);
  Stop(sim);
  sim.strOutPath = m_strTempDir + (side == LanSide::kBox ? "/sim-box.log" : "/sim-box2.log");
  std::vector<std::string> argv = {"ip", "netns", "exec", BoxNs(side), kQenBoxSimPath};
  argv.insert(argv.end(), args.begin(), args.end());
  sim.pid = Spawn(argv, sim.strOutPath, "");
  if (sim.pid < 0) {
    ADD_FAILURE() << "cannot start " << kQenBoxSimPath;
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    if (ReadLanFile(sim.strOutPath).find(" listening on ") != std::string::npos) {
      return true;
    }
    int status = 0;
    if (waitpid(sim.pid, &status, WNOHANG) == sim.pid) {
      sim.pid = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "the simulator did not start listening:\n" << ReadLanFile(sim.strOutPath);
  Stop(sim);
  return false;
}

std::string LanFixture::StopSimulator(LanSide side) {
  Background& sim = Sim(side);
  Stop(sim);
  return ReadLanFile(sim.strOutPath);
}

std::string LanFixture::SimulatorLog(LanSide side) const { return ReadLanFile(Sim(side).strOutPath); }

void LanFixture::Stop(Background& process) {
  if (process.pid <= 0) {
    return;
  }
  kill(process.pid, SIGTERM);
  bool timedOut = false;
  WaitUntil(process.pid, Clock::now() + std::chrono::seconds(5), timedOut);
  process.pid = -1;
}

LanRunResult LanFixture::RunIn(const std::string& ns, const std::vector<std::string>& argv,
                               std::chrono::seconds limit) {
  LanRunResult result;
  const std::string base = m_strTempDir + "/run" + std::to_string(++m_nRuns);
  std::vector<std::string> full = {"ip", "netns", "exec", ns};
  full.insert(full.end(), argv.begin(), argv.end());
  const auto start = Clock::now();
  const pid_t pid = Spawn(full, base + ".out", base + ".err");
  if (pid < 0) {
    ADD_FAILURE() << "cannot start " << argv.at(0);
    return result;
  }
  result.nExitCode = WaitUntil(pid, start + limit, result.bTimedOut);
  result.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.strOut = ReadLanFile(base + ".out");
  result.strErr = ReadLanFile(base + ".err");
  return result;
}

LanRunResult LanFixture::RunClient(const std::string& program, const std::vector<std::string>& args,
                                   std::chrono::seconds limit) {
  const std::filesystem::path dir = m_strTempDir + "/client" + std::to_string(m_nRuns + 1);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  const std::filesystem::path copy = dir / std::filesystem::path(program).filename();
  if (!std::filesystem::copy_file(program, copy, error)) {
    ADD_FAILURE() << "cannot copy " << program << ": " << error.message();
    return {};
  }
  chmod(copy.c_str(), 0755);
  std::vector<std::string> argv = {copy.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  LanRunResult result = RunIn(m_strClientNs, argv, limit);
  result.log = LogMessages(ReadLanFile((dir / "QenBoxClient.log").string()));
  return result;
}
