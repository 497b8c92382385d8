// A hostile box in the namespace LAN: each row one simulator mode and what the
// client does with it, ending within its time-outs, with the log lines it must
// write and its peak memory bounded.
#include <gmock/gmock.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/lan/LanFixture.h"

extern char** environ;

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const char* const kHostileClientPath = LAN_HOSTILE_CLIENT_PATH;
// Even a 10 MiB body must not make the client hold much: it reads 1 MiB at most.
constexpr long kMaxPeakRssKiB = 64 * 1024;
const std::string kSetIpFailed = "Can't send config request to /manage_console/set-ip";
const std::string kSendFailed = "Failed to send request: /manage_console/set-ip";
const std::string kRequestFailed = "SendRequest failed: /manage_console/set-ip";
const std::string kReadFailed = "Failed to call QenHttpReadResponse()!";

// The peak resident size that lan_hostile_client reported last; -1 without one.
long PeakRssKiB(const std::string& err) {
  const size_t at = err.rfind("peak-rss-kib ");
  return at == std::string::npos ? -1 : std::strtol(err.c_str() + at + 13, nullptr, 10);
}

// A tool run under lan_hostile_client, which measures it.
std::vector<std::string> Measured(const std::string& program, std::vector<std::string> args) {
  args.insert(args.begin(), {"run", program});
  return args;
}

// Times (epoch seconds) at which the simulator received a probe.
std::vector<double> ProbeTimes(const std::string& simLog) {
  std::vector<double> times;
  std::istringstream lines(simLog);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(" received 11 bytes from ") != std::string::npos &&
        line.find(": \"find qenbox\"") != std::string::npos)
      times.push_back(std::strtod(line.c_str() + line.find("] ") + 2, nullptr));
  }
  return times;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++n;
  return n;
}

// One expected text per log message, each beginning its message. A logged
// header block is one message, its line breaks turned to blanks.
::testing::AssertionResult LogMatches(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
  bool same = log.size() == expected.size();
  for (size_t i = 0; same && i < log.size(); ++i)
    same = log[i].compare(0, expected[i].size(), expected[i]) == 0;
  if (same)
    return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << "expected " << expected.size() << " messages:";
  for (const std::string& line : expected)
    failure << "\n  " << line.substr(0, 200);
  failure << "\nlogged " << log.size() << ":";
  for (const std::string& line : log)
    failure << "\n  " << line.substr(0, 200);
  return failure;
}

// An `ip` command of ours, away from the fixture (it may run beside RunClient).
bool RunIp(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ip"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& arg : argv)
    raw.push_back(arg.data());
  raw.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "ip", nullptr, nullptr, raw.data(), environ) != 0)
    return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits until the simulator's log holds count probes; false after limit.
template <typename LogFn>
bool WaitForProbes(LogFn simLog, size_t count, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ProbeTimes(simLog()).size() < count) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class HostileBox : public LanFixture {};

// One sweep over two LANs: the hostile box on 192.0.2.0/24, probed first, and
// a good box on 198.51.100.0/24. A reply the client ignores lets the sweep go
// on to the good box; a reply it takes ends the search there.
TEST_F(HostileBox, DiscoveryReplies) {
  struct Row {
    const char* name;
    std::vector<std::string> simArgs;
    int exitCode;
    std::string out;
    std::vector<std::string> log;
    double minSeconds, maxSeconds;
    std::string simSays;  // a line the hostile box must have logged
  };
  const std::string kSecond = "198.51.100.20 dhcp\n";
  const std::string kFirst = "192.0.2.20 static\n";
  const std::string kBox = R"({"ip":"192.0.2.20","iptype":"static"})";
  const std::string kHostIp = R"({"ip":"192.0.2.20/x","iptype":"static"})";
  const std::string kBadOctet = R"({"ip":"999.0.2.20","iptype":"static"})";
  const std::string kDeep(1024, '[');
  const std::vector<Row> rows = {
      {"silent box: one 10 s time-out, the sweep goes on", {"--silent"}, 0, kSecond, {}, 9.5, 13.0,
       "silent: no answer"},
      {"1024-byte reply fills the buffer and is taken", {"--reply-raw", kBox + std::string(1024 - kBox.size(), ' ')},
       0, kFirst, {}, 0, 3.0, " sent 1024 bytes to 192.0.2.10:"},
      {"2000-byte reply counts as no answer, without a wait",
       {"--reply-raw", kBox + std::string(2000 - kBox.size(), ' ')}, 0, kSecond, {}, 0, 3.0,
       " sent 2000 bytes to 192.0.2.10:"},
      {"non-JSON reply is ignored", {"--reply-raw", "hello"}, 0, kSecond, {}, 0, 3.0, " sent 5 bytes"},
      {"number root is ignored", {"--reply-raw", "42"}, 0, kSecond, {}, 0, 3.0, " sent 2 bytes"},
      {"array root is ignored", {"--reply-raw", R"(["192.0.2.20","static"])"}, 0, kSecond, {}, 0, 3.0,
       " sent 23 bytes"},
      {"string root is ignored", {"--reply-raw", R"("192.0.2.20")"}, 0, kSecond, {}, 0, 3.0, " sent 12 bytes"},
      {"nesting beyond the parser's limit is ignored", {"--reply-raw", kDeep}, 0, kSecond, {kDeep}, 0, 3.0,
       " sent 1024 bytes"},
      {"ip with a path is not an IPv4 address", {"--reply-raw", kHostIp}, 0, kSecond,
       {kHostIp, "ip field is not an IPv4 address"}, 0, 3.0, ""},
      {"ip with an octet over 255 is not an IPv4 address", {"--reply-raw", kBadOctet}, 0, kSecond,
       {kBadOctet, "ip field is not an IPv4 address"}, 0, 3.0, ""},
      {"ip differing from the sender is taken and logged", {"--reply-from", "192.0.2.21"}, 0, kFirst,
       {"address is not match: 192.0.2.21, 192.0.2.20"}, 0, 3.0, " from 192.0.2.21:"},
      // The second box's datagram is read first and wins; the box's own is
      // left in the socket and dropped with it.
      {"two boxes answering: the first datagram read wins", {"--also-box", "192.0.2.21"}, 0,
       "192.0.2.21 static\n", {}, 0, 3.0, " as the second box 192.0.2.21: "},
      // The probe's socket is not connected: Linux hands it a datagram from
      // any source port, and the source port is not looked at.
      {"reply from an unrelated source port is taken", {"--reply-from-port", "40000"}, 0, kFirst, {}, 0, 3.0,
       " from port 40000: "},
  };
  ASSERT_TRUE(CreateLan(/*secondLan=*/true));
  ASSERT_EQ(0, RunIn(BoxNs(), {"ip", "addr", "add", "192.0.2.21/24", "dev", BoxInterface()}).nExitCode);
  ASSERT_TRUE(StartSimulator({"--ip", "198.51.100.20", "--iptype", "dhcp"}, LanSide::kBox2));
  size_t secondProbes = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(StartSimulator(row.simArgs));
    const LanRunResult run =
        RunClient(kHostileClientPath, Measured(kQenBoxFindPath, {"--sweeps", "1"}), std::chrono::seconds(30));
    const std::string simLog = StopSimulator();
    EXPECT_EQ(row.exitCode, run.nExitCode) << run.strErr;
    EXPECT_EQ(row.out, run.strOut);
    EXPECT_THAT(run.log, ElementsAreArray(row.log));
    EXPECT_GE(run.dSeconds, row.minSeconds);
    EXPECT_LT(run.dSeconds, row.maxSeconds);
    EXPECT_EQ(1u, ProbeTimes(simLog).size()) << simLog;
    EXPECT_THAT(simLog, HasSubstr(row.simSays));
    const long peak = PeakRssKiB(run.strErr);
    EXPECT_GT(peak, 0) << run.strErr;
    EXPECT_LT(peak, kMaxPeakRssKiB);
    // The good box is probed exactly when the hostile one's reply was not taken.
    secondProbes += row.out == kSecond ? 1 : 0;
    EXPECT_EQ(secondProbes, ProbeTimes(SimulatorLog(LanSide::kBox2)).size());
  }
}

std::vector<std::string> SetIpArgs() {
  return {"--box", "192.0.2.20", "--user", "admin", "--password", "nope", "--ip", "192.0.2.30", "--netmask",
          "255.255.255.0"};
}

// The set-ip exchange against a hostile HTTP side. The box refuses the
// password (3802), so none of the rows makes it restart. Rows with a receive
// cap run the exchange in lan_hostile_client with every body read capped
// there; the others run qenbox-setip with the real time-outs.
TEST_F(HostileBox, SetIpReplies) {
  struct Row {
    const char* name;
    std::vector<std::string> simArgs;
    int receiveCapMs;  // 0: qenbox-setip
    std::string out;
    std::vector<std::string> log;  // the client's log messages, each by its beginning
    size_t requests;               // set-ip requests the box saw
    double minSeconds, maxSeconds;
  };
  const std::string kRefused = "3802\nWrong password\n";
  const std::string kFailed = "0\n" + kSetIpFailed + "\n";
  const std::string kLongMessage(100000, 'm');
  std::string kBad;
  for (int i = 0; i < 7; ++i)
    kBad += "\xEF\xBF\xBD";  // U+FFFD
  const std::string kGb2312Json = "7b2272657475726e5f636f6465223a333830322c2272657475726e5f6d657373616765223a22"
                                  "c3dcc2ebb4edcef3227d";  // {"return_code":3802,"return_message":"密码错误"}
  const std::vector<Row> rows = {
      {"status 500 fails whatever the body", {"--http-status", "500"}, 0, kFailed,
       {kReadFailed, kSendFailed, kRequestFailed, "HTTP/1.1 500 Internal Server Error", ""}, 1, 0, 5},
      {"407 forever: three sends, then failure", {"--http-407"}, 0, kFailed,
       {"Set proxy user name: ", "No proxy password", "Set proxy user name: ", "No proxy password",
        "Set proxy user name: ", "No proxy password", kSendFailed, kRequestFailed, "", ""},
       3, 0, 5},
      {"10 MiB body: reading stops at 1 MiB", {"--http-body-bytes", "10485760"}, 0, kFailed,
       {"StreamWrite failed", kReadFailed, kSendFailed, kRequestFailed, "HTTP/1.1 200 OK", ""}, 1, 0, 10},
      // The block does not fit the 10240-byte buffer: no status, length or
      // type is known, the status counts as 200 and the general decoder reads
      // the body.
      {"header block over 10240 bytes reaches the exchange empty", {"--http-header-bytes", "20000"}, 0, kRefused,
       {"Can't change ip address of qenbox: Wrong password"}, 1, 0, 5},
      {"header flood over 64 KiB is not a reply", {"--http-header-bytes", "200000"}, 0, kFailed,
       {"HttpSendRequest failed: 12004, ", "Failed to call data.SendRequest()!", kSendFailed, kRequestFailed, "",
        ""},
       1, 0, 5},
      {"slow body, one byte a second: a shortened time-out ends the read", {"--http-slow-body", "1000"}, 300,
       kFailed,
       {"GetLastError()=12002", "InternetGetLastResponseInfo=12002, no body byte within 300 ms",
        "InternetReadFile failed", kReadFailed, kSendFailed, kRequestFailed, "HTTP/1.1 200 OK", ""},
       1, 0.3, 3},
      {"slow but steady body is read whole", {"--http-slow-body", "100"}, 1000, kRefused,
       {"Can't change ip address of qenbox: Wrong password"}, 1, 4, 12},
      {"connection dropped mid-body", {"--http-drop"}, 0, kFailed,
       {"GetLastError()=12030", "InternetGetLastResponseInfo=12030, transfer closed with 27 bytes remaining",
        "InternetReadFile failed", kReadFailed, kSendFailed, kRequestFailed, "HTTP/1.1 200 OK", ""},
       1, 0, 5},
      {"GB2312 body that names its charset", {"--http-body-hex", kGb2312Json, "--http-content-type",
       "application/json; charset=gb2312"}, 0, "3802\n密码错误\n", {"Can't change ip address of qenbox: 密码错误"},
       1, 0, 5},
      // Invalid UTF-8 decodes to replacement characters, one per maximal bad
      // sequence; the reply is still a JSON object.
      {"GB2312 bytes labelled UTF-8", {"--http-body-hex", kGb2312Json, "--http-content-type",
       "application/json; charset=utf-8"}, 0, "3802\n" + kBad + "\n", {"Can't change ip address of qenbox: " + kBad},
       1, 0, 5},
      {"invalid UTF-8 through the general decoder", {"--http-body-hex", kGb2312Json, "--http-content-type",
       "text/plain"}, 0, "3802\n" + kBad + "\n", {"Can't change ip address of qenbox: " + kBad}, 1, 0, 5},
      {"return_message of 100 000 characters arrives whole",
       {"--http-body", R"({"return_code":3802,"return_message":")" + kLongMessage + "\"}"}, 0,
       "3802\n" + kLongMessage + "\n", {"Can't change ip address of qenbox: " + kLongMessage}, 1, 0, 5},
  };
  ASSERT_NE(std::string(kQenBoxSetIpPath), "") << "qenbox-setip is not built";
  ASSERT_TRUE(CreateLan());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(StartSimulator(row.simArgs));
    std::vector<std::string> args;
    if (row.receiveCapMs == 0) {
      args = Measured(kQenBoxSetIpPath, SetIpArgs());
    } else {
      args = {"setip", std::to_string(row.receiveCapMs), "192.0.2.20", "admin", "nope", "192.0.2.30",
              "255.255.255.0"};
    }
    const LanRunResult run = RunClient(kHostileClientPath, args, std::chrono::seconds(60));
    const std::string simLog = StopSimulator();
    EXPECT_EQ(1, run.nExitCode) << run.strErr;
    // The long message is compared whole but shown cut.
    EXPECT_TRUE(row.out == run.strOut) << row.out.substr(0, 200) << "\n!=\n" << run.strOut.substr(0, 200);
    EXPECT_TRUE(LogMatches(run.log, row.log));
    EXPECT_GE(run.dSeconds, row.minSeconds);
    EXPECT_LT(run.dSeconds, row.maxSeconds);
    EXPECT_EQ(row.requests, Count(simLog, " body bytes, fields ")) << simLog;
    const long peak = PeakRssKiB(run.strErr);
    EXPECT_GT(peak, 0) << run.strErr;
    EXPECT_LT(peak, kMaxPeakRssKiB);
    for (const std::string& line : run.log) {
      EXPECT_THAT(line, Not(HasSubstr("password=")));
      EXPECT_THAT(line, Not(HasSubstr("nope")));
    }
  }
}

// An interface appears in the client namespace during the first of three
// sweeps and goes again after the second has probed it: only the second sweep
// probes its network.
TEST_F(HostileBox, InterfaceAddedAndRemovedBetweenSweeps) {
  ASSERT_TRUE(CreateLan(/*secondLan=*/true));
  // Take the second LAN's link away until the search runs.
  const std::string boxIf = BoxInterface(LanSide::kBox2);
  const std::string clientIf = "vc2-" + boxIf.substr(4);
  ASSERT_EQ(0, RunIn(ClientNs(), {"ip", "link", "del", clientIf}).nExitCode);
  ASSERT_TRUE(StartSimulator({"--silent"}, LanSide::kBox));
  // Its address comes with the link, so it serves no HTTP.
  ASSERT_TRUE(StartSimulator({"--silent", "--ip", "198.51.100.20", "--http-port", "0"}, LanSide::kBox2));

  bool added = false;
  bool removed = false;
  std::thread changer([&] {
    if (!WaitForProbes([this] { return SimulatorLog(LanSide::kBox); }, 1, std::chrono::seconds(5)))
      return;
    added = RunIp({"-n", ClientNs(), "link", "add", clientIf, "type", "veth", "peer", "name", boxIf, "netns",
                BoxNs(LanSide::kBox2)}) &&
            RunIp({"-n", ClientNs(), "addr", "add", "198.51.100.10/24", "brd", "+", "dev", clientIf}) &&
            RunIp({"-n", BoxNs(LanSide::kBox2), "addr", "add", "198.51.100.20/24", "brd", "+", "dev", boxIf}) &&
            RunIp({"-n", ClientNs(), "link", "set", clientIf, "up"}) &&
            RunIp({"-n", BoxNs(LanSide::kBox2), "link", "set", boxIf, "up"});
    if (added && WaitForProbes([this] { return SimulatorLog(LanSide::kBox2); }, 1, std::chrono::seconds(30)))
      removed = RunIp({"-n", ClientNs(), "link", "del", clientIf});
  });
  const LanRunResult run =
      RunClient(kHostileClientPath, Measured(kQenBoxFindPath, {"--sweeps", "3"}), std::chrono::seconds(90));
  changer.join();
  EXPECT_TRUE(added);
  EXPECT_TRUE(removed);
  EXPECT_EQ(1, run.nExitCode) << run.strErr;
  EXPECT_EQ("", run.strOut);
  EXPECT_THAT(run.strErr, HasSubstr("no QenBox answered"));
  EXPECT_TRUE(run.log.empty());
  EXPECT_GT(PeakRssKiB(run.strErr), 0);
  EXPECT_LT(PeakRssKiB(run.strErr), kMaxPeakRssKiB);
  // Sweeps 1 and 3 probe one network (10 s), sweep 2 both (20 s).
  EXPECT_GE(run.dSeconds, 39.0);
  EXPECT_LT(run.dSeconds, 46.0);
  const std::vector<double> first = ProbeTimes(StopSimulator(LanSide::kBox));
  const std::vector<double> second = ProbeTimes(StopSimulator(LanSide::kBox2));
  ASSERT_EQ(3u, first.size());
  ASSERT_EQ(1u, second.size());
  EXPECT_NEAR(10.0, first[1] - first[0], 0.5);
  EXPECT_NEAR(10.0, second[0] - first[1], 0.5);
  EXPECT_NEAR(10.0, first[2] - second[0], 0.5);
}

// The 120 s body time-out at full length: the reply header, then no body byte
// for longer than that. Runs with scripts/test --all only (label long).
TEST_F(HostileBox, LongSlowBodyEndsAtTheFullTimeOut) {
  ASSERT_NE(std::string(kQenBoxSetIpPath), "") << "qenbox-setip is not built";
  ASSERT_TRUE(CreateLan());
  ASSERT_TRUE(StartSimulator({"--http-slow-body", "125000"}));
  const LanRunResult run =
      RunClient(kHostileClientPath, Measured(kQenBoxSetIpPath, SetIpArgs()), std::chrono::seconds(200));
  EXPECT_EQ(1, run.nExitCode) << run.strErr;
  EXPECT_EQ("0\n" + kSetIpFailed + "\n", run.strOut);
  EXPECT_TRUE(LogMatches(run.log, {"GetLastError()=12002",
                                "InternetGetLastResponseInfo=12002, no body byte within 120000 ms",
                                "InternetReadFile failed", kReadFailed, kSendFailed, kRequestFailed,
                                "HTTP/1.1 200 OK", ""}));
  EXPECT_GE(run.dSeconds, 119.5);
  EXPECT_LT(run.dSeconds, 124.0);
  EXPECT_GT(PeakRssKiB(run.strErr), 0);
  EXPECT_LT(PeakRssKiB(run.strErr), kMaxPeakRssKiB);
}

}  // namespace
