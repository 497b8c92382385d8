// The finder against the simulated box, in a private namespace LAN.
#include <gmock/gmock.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lan/LanFixture.h"

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

const std::string kBoxJson = R"({"ip":"192.0.2.20","iptype":"static"})";

// Times (epoch seconds) at which the simulator received a probe; the probe
// must be exactly the 11 bytes "find qenbox", without a trailing NUL.
std::vector<double> ProbeTimes(const std::string& simLog, const std::string& client = "192.0.2.10") {
  std::vector<double> times;
  std::istringstream lines(simLog);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(" received ") == std::string::npos) {
      continue;
    }
    EXPECT_THAT(line, HasSubstr(" received 11 bytes from " + client + ":"));
    EXPECT_THAT(line, HasSubstr(": \"find qenbox\""));
    const size_t stamp = line.find("] ");
    times.push_back(std::strtod(line.c_str() + stamp + 2, nullptr));
  }
  return times;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char ch : bytes) {
    hex += digits[ch >> 4];
    hex += digits[ch & 15];
  }
  return hex;
}

std::string Padded(const std::string& text, size_t size) {
  return text + std::string(size - text.size(), ' ');
}

class DiscoveryLan : public LanFixture {};

// One address, one simulator per row: what the finder prints, logs and sends.
TEST_F(DiscoveryLan, RepliesWithinOneAddress) {
  struct Row {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::string> findArgs;
    int exitCode;
    std::string out;
    std::vector<std::string> log;
    size_t probes;        // datagrams the box received
    std::string simSays;  // a line the simulator must have logged
  };
  const std::string noIpType = R"({"ip":"192.0.2.20"})";
  const std::string hostIp = R"({"ip":"192.0.2.20/x","iptype":"static"})";
  const std::vector<Row> rows = {
      {"static box", {"--iptype", "static"}, {"--sweeps", "1"}, 0, "192.0.2.20 static\n", {}, 1, ""},
      {"dhcp box as JSON", {"--iptype", "dhcp"}, {"--sweeps", "1", "--json"}, 0,
       "{\"ip\":\"192.0.2.20\",\"iptype\":\"dhcp\"}\n", {}, 1, ""},
      {"type in capitals unchanged", {"--iptype", "STATIC"}, {"--sweeps", "1"}, 0,
       "192.0.2.20 STATIC\n", {}, 1, ""},
      {"1024-byte reply fills the buffer", {"--reply-raw", Padded(kBoxJson, 1024)},
       {"--sweeps", "1"}, 0, "192.0.2.20 static\n", {}, 1, " sent 1024 bytes to 192.0.2.10:"},
      {"reply read up to its first NUL", {"--reply-raw-hex", Hex(kBoxJson) + "00" + Hex("[[[")},
       {"--sweeps", "1"}, 0, "192.0.2.20 static\n", {}, 1, ""},
      {"answer from another address", {"--reply-from", "192.0.2.21"}, {"--sweeps", "1"}, 0,
       "192.0.2.20 static\n", {"address is not match: 192.0.2.21, 192.0.2.20"}, 1, ""},
      // A parsed reply without "iptype" ends the whole search at once.
      {"no iptype ends the search", {"--reply-raw", noIpType}, {"--sweeps", "3"}, 1, "",
       {noIpType, "no iptype field"}, 1, ""},
      // Ignored replies: the sweep ends without a time-out and the next one follows.
      {"ip not an IPv4 address", {"--reply-raw", hostIp}, {"--sweeps", "2"}, 1, "",
       {hostIp, "ip field is not an IPv4 address", hostIp, "ip field is not an IPv4 address"}, 2, ""},
      {"number root", {"--reply-raw", "42"}, {"--sweeps", "2"}, 1, "", {}, 2, ""},
      // Longer than the 1024-byte buffer: no answer, although its first 1024
      // bytes would be a good reply; the address is skipped without waiting.
      {"2000-byte reply", {"--reply-raw", Padded(kBoxJson, 2000)}, {"--sweeps", "2"}, 1, "", {}, 2,
       " sent 2000 bytes to 192.0.2.10:"},
  };
  ASSERT_TRUE(CreateLan());
  ASSERT_EQ(0, RunIn(BoxNs(), {"ip", "addr", "add", "192.0.2.21/24", "dev", BoxInterface()}).nExitCode);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(StartSimulator(row.simArgs));
    const LanRunResult run = RunClient(kQenBoxFindPath, row.findArgs);
    const std::string simLog = StopSimulator();
    EXPECT_EQ(row.exitCode, run.nExitCode) << run.strErr;
    EXPECT_EQ(row.out, run.strOut);
    EXPECT_THAT(run.log, ElementsAreArray(row.log));
    EXPECT_LT(run.dSeconds, 5.0) << "no row waits for a time-out";
    EXPECT_EQ(row.probes, ProbeTimes(simLog).size()) << simLog;
    EXPECT_THAT(simLog, HasSubstr(row.simSays));
  }
}

// 192.0.2.255 sorts before 198.51.100.255: a reply that is not JSON on the
// first address is ignored and the box on the second is found in the same sweep.
TEST_F(DiscoveryLan, NonJsonOnTheFirstAddressThenTheBoxOnTheSecond) {
  ASSERT_TRUE(CreateLan(/*secondLan=*/true));
  ASSERT_TRUE(StartSimulator({"--reply-raw", "hello"}, LanSide::kBox));
  ASSERT_TRUE(StartSimulator({"--ip", "198.51.100.20", "--iptype", "dhcp"}, LanSide::kBox2));
  const LanRunResult run = RunClient(kQenBoxFindPath, {"--sweeps", "1", "--json"});
  EXPECT_EQ(0, run.nExitCode) << run.strErr;
  EXPECT_EQ("{\"ip\":\"198.51.100.20\",\"iptype\":\"dhcp\"}\n", run.strOut);
  EXPECT_TRUE(run.log.empty());
  EXPECT_LT(run.dSeconds, 5.0);
  EXPECT_THAT(StopSimulator(LanSide::kBox), HasSubstr(" sent 5 bytes to 192.0.2.10:"));
  EXPECT_THAT(StopSimulator(LanSide::kBox2), HasSubstr(" received 11 bytes from 198.51.100.10:"));
}

// The silent network is probed first, costs one 10 s time-out, and then the
// box on the second network answers.
TEST_F(DiscoveryLan, SilentAddressCostsOneTimeOutInTextOrder) {
  ASSERT_TRUE(CreateLan(/*secondLan=*/true));
  ASSERT_TRUE(StartSimulator({"--silent"}, LanSide::kBox));
  ASSERT_TRUE(StartSimulator({"--ip", "198.51.100.20"}, LanSide::kBox2));
  const LanRunResult run = RunClient(kQenBoxFindPath, {"--sweeps", "1"});
  EXPECT_EQ(0, run.nExitCode) << run.strErr;
  EXPECT_EQ("198.51.100.20 static\n", run.strOut);
  EXPECT_GE(run.dSeconds, 9.5);
  EXPECT_LT(run.dSeconds, 15.0);

  const std::vector<double> silent = ProbeTimes(StopSimulator(LanSide::kBox));
  const std::vector<double> found = ProbeTimes(StopSimulator(LanSide::kBox2), "198.51.100.10");
  ASSERT_EQ(1u, silent.size());
  ASSERT_EQ(1u, found.size());
  // The second network's probe went out one time-out after the first's.
  EXPECT_NEAR(10.0, found[0] - silent[0], 0.5);
}

// With nothing on either network one sweep waits 10 s per address, then the
// finder reports nothing.
TEST_F(DiscoveryLan, NoBoxReturnsEmptyAfterOneTimeOutPerAddress) {
  ASSERT_TRUE(CreateLan(/*secondLan=*/true));
  const LanRunResult run = RunClient(kQenBoxFindPath, {"--sweeps", "1", "--json"});
  EXPECT_EQ(1, run.nExitCode);
  EXPECT_EQ("", run.strOut);
  EXPECT_THAT(run.strErr, HasSubstr("no QenBox answered"));
  EXPECT_TRUE(run.log.empty());
  EXPECT_GE(run.dSeconds, 19.5);
  EXPECT_LT(run.dSeconds, 25.0);
}

}  // namespace
