// The set-ip exchange end to end in a private namespace LAN: find the box,
// give it a static address, wait for its restart, find it there.
#include <gmock/gmock.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/lan/LanFixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class SetIpLan : public LanFixture {};

std::vector<std::string> SetIpArgs(const std::string& box, const std::string& password) {
  return {"--box", box, "--user", "admin", "--password", password, "--ip", "192.0.2.30", "--netmask", "255.255.255.0"};
}

TEST_F(SetIpLan, FindSetIpRestartFindAgain) {
  ASSERT_NE(std::string(kQenBoxSetIpPath), "") << "qenbox-setip is not built";
  ASSERT_TRUE(CreateLan());
  ASSERT_TRUE(StartSimulator({"--iptype", "dhcp", "--password", "s3cret&ip=1.2.3.4", "--restart-s", "2"}));

  LanRunResult first = RunClient(kQenBoxFindPath, {"--sweeps", "3"});
  EXPECT_EQ(first.nExitCode, 0);
  EXPECT_EQ(first.strOut, "192.0.2.20 dhcp\n");

  std::vector<std::string> args = SetIpArgs("192.0.2.20", "s3cret&ip=1.2.3.4");
  args.push_back("--json");
  LanRunResult set = RunClient(kQenBoxSetIpPath, args);
  EXPECT_EQ(set.nExitCode, 0) << set.strErr;
  EXPECT_EQ(set.strOut, "{\"message\":\"OK\",\"ok\":true,\"return_code\":200}\n");
  EXPECT_THAT(set.log, ElementsAre()) << "an accepted exchange logs nothing";

  // The box goes quiet for its restart, then comes back under the new address.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (SimulatorLog().find("restarted as 192.0.2.30 (static)") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_THAT(SimulatorLog(), HasSubstr("restarted as 192.0.2.30 (static)"));
  LanRunResult boxAddress = RunIn(BoxNs(), {"ip", "-4", "-o", "addr", "show", "dev", BoxInterface()});
  EXPECT_THAT(boxAddress.strOut, HasSubstr(" 192.0.2.30/24 "));
  EXPECT_THAT(boxAddress.strOut, Not(HasSubstr("192.0.2.20")));

  LanRunResult again = RunClient(kQenBoxFindPath, {"--sweeps", "3"});
  EXPECT_EQ(again.nExitCode, 0);
  EXPECT_EQ(again.strOut, "192.0.2.30 static\n");

  // Set-ip answers at the new address only.
  LanRunResult refused = RunClient(kQenBoxSetIpPath, SetIpArgs("192.0.2.30", "admin"));
  EXPECT_EQ(refused.nExitCode, 1);
  EXPECT_EQ(refused.strOut, "3802\nWrong password\n");
  EXPECT_THAT(refused.log, ElementsAre("Can't change ip address of qenbox: Wrong password"));
  LanRunResult gone = RunClient(kQenBoxSetIpPath, SetIpArgs("192.0.2.20", "admin"), std::chrono::seconds(90));
  EXPECT_EQ(gone.nExitCode, 1);
  EXPECT_EQ(gone.strOut, "0\nCan't send config request to /manage_console/set-ip\n");

  // Neither the password nor the form body reaches a log.
  for (const LanRunResult* run : {&set, &refused, &gone}) {
    for (const std::string& line : run->log) {
      EXPECT_THAT(line, Not(HasSubstr("s3cret")));
      EXPECT_THAT(line, Not(HasSubstr("password=")));
    }
  }
  EXPECT_THAT(StopSimulator(), Not(HasSubstr("s3cret")));
}

}  // namespace
