// A private LAN of network namespaces for one test, with the box simulator in
// the box namespace and the program under test in the client namespace.
//
//   client qbc-ID  vc-ID  192.0.2.10/24     <-veth->  box  qbb-ID   vb-ID  192.0.2.20/24
//   (second LAN)   vc2-ID 198.51.100.10/24  <-veth->  box2 qbb2-ID  vb2-ID 198.51.100.20/24
//
// Needs root: without it every test of the fixture is skipped with a message.
// Everything started here is stopped, and the namespaces deleted, when the
// test ends, also when it fails.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// Paths of the tools, as built.
extern const char* const kQenBoxSimPath;
extern const char* const kQenBoxFindPath;
extern const char* const kQenBoxSetIpPath;  // empty when the tool is not built

enum class LanSide { kBox, kBox2 };

struct LanRunResult {
  int nExitCode = -1;            // -1 when killed at the time limit or by a signal
  bool bTimedOut = false;
  double dSeconds = 0;           // wall time of the run
  std::string strOut;            // stdout
  std::string strErr;            // stderr
  std::vector<std::string> log;  // messages of QenBoxClient.log next to the program, as UTF-8
};

class LanFixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the LAN (and the second one when asked); false with a test
  // failure when an `ip` command fails.
  bool CreateLan(bool secondLan = false);

  const std::string& ClientNs() const { return m_strClientNs; }
  std::string BoxNs(LanSide side = LanSide::kBox) const;
  // The box's end of the veth pair, inside BoxNs(side).
  std::string BoxInterface(LanSide side = LanSide::kBox) const;

  // Starts qenbox-sim with args on that side and waits until it listens.
  bool StartSimulator(const std::vector<std::string>& args, LanSide side = LanSide::kBox);
  // Stops the simulator there (SIGTERM) and returns its stderr.
  std::string StopSimulator(LanSide side = LanSide::kBox);
  // The simulator's stderr so far.
  std::string SimulatorLog(LanSide side = LanSide::kBox) const;

  // Copies program into a folder of its own (so the log file next to it is
  // this run's alone) and runs it in the client namespace, killing it after
  // limit.
  LanRunResult RunClient(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::seconds limit = std::chrono::seconds(120));
  // Runs a command (argv) in a namespace of the LAN, e.g. {"ip", "addr"}.
  LanRunResult RunIn(const std::string& ns, const std::vector<std::string>& argv,
                     std::chrono::seconds limit = std::chrono::seconds(30));

private:
  struct Background {
    pid_t pid = -1;
    std::string strOutPath;
  };

  bool Ip(const std::vector<std::string>& args);
  bool LinkPair(const std::string& clientIf, const std::string& boxIf, const std::string& boxNs,
                const std::string& clientAddr, const std::string& boxAddr);
  Background& Sim(LanSide side) { return side == LanSide::kBox ? m_box : m_box2; }
  const Background& Sim(LanSide side) const { return side == LanSide::kBox ? m_box : m_box2; }
  static void Stop(Background& process);

  std::string m_strId;
  std::string m_strClientNs;
  std::vector<std::string> m_namespaces;  // created, to delete
  std::string m_strTempDir;
  int m_nRuns = 0;
  Background m_box;
  Background m_box2;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadLanFile(const std::string& path);
