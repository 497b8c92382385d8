// StopAllQueuedThreads ends the queues of the whole process, so each case runs
// in a child: this program again, limited to the child test below, with the
// case's name in QENBOX_QUEUE_CHILD. The child writes how long the stop took
// (in microseconds) to file descriptor 3 and returns from main normally.
#include "queue/QueuedThread.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Counted.h"

extern char** environ;

using namespace std::chrono_literals;

namespace {

const char kChildVar[] = "QENBOX_QUEUE_CHILD";
constexpr int kReportFd = 3;

using tests::Counted;

// Target of the child's actions. Leaked on purpose: a worker that outlives the
// shutdown may still call it while the child exits.
class Worker {
public:
  void Sleep(int nMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    ++m_nSlept;
  }
  void Take(Counted) { ++m_nTaken; }
  // Runs past the shutdown wait, then tries to post as a late worker would.
  void PostLate(int nMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(nMs));
    m_bLateLookupNull = GetQueuedThread(0) == nullptr && GetQueuedThread(1001) == nullptr &&
                        GetQueuedThread(5) == nullptr;
    for (int32_t nKey : {0, 1001, 5})
      QueueAction(nKey, new CQenQueuedAction1<Worker, Counted>(&Worker::Take, this, Counted()));
    m_bLateDone = true;
  }
  std::atomic<int> m_nSlept{0};
  std::atomic<int> m_nTaken{0};
  std::atomic<bool> m_bLateLookupNull{false};
  std::atomic<bool> m_bLateDone{false};
};

void PostSleep(int32_t nKey, Worker* pWorker, int nMs) {
  QueueAction(nKey, new CQenQueuedAction1<Worker, int>(&Worker::Sleep, pWorker, nMs));
}

long StopAndMeasureUs() {
  auto start = std::chrono::steady_clock::now();
  StopAllQueuedThreads();
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

// Posting after the stop discards the action: it never runs and is deleted.
void ExpectPostsRefused(Worker* pWorker) {
  int nTakenBefore = pWorker->m_nTaken;
  for (int32_t nKey : {0, 1, 1001, 9}) {
    SCOPED_TRACE("late post to key " + std::to_string(nKey));
    EXPECT_EQ(GetQueuedThread(nKey), nullptr);
    QueueAction(nKey, new CQenQueuedAction1<Worker, Counted>(&Worker::Take, pWorker, Counted()));
    EXPECT_EQ(Counted::s_nLive, 0);
  }
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(pWorker->m_nTaken, nTakenBefore);
}

long RunChildCase(const std::string& name) {
  static Worker* const pWorker = new Worker;  // see Worker
  EXPECT_NE(GetQueuedThread(0), nullptr);
  long nUs = -1;
  if (name == "key0_only") {
    nUs = StopAndMeasureUs();
  } else if (name == "idle_workers") {
    for (int32_t nKey : {1, 1001, 2})
      EXPECT_NE(GetQueuedThread(nKey), nullptr);
    nUs = StopAndMeasureUs();
  } else if (name == "pending_actions") {
    // Actions queued before the stop still run, in full.
    for (int i = 0; i < 3; ++i)
      PostSleep(1001, pWorker, 100);
    PostSleep(1, pWorker, 100);
    nUs = StopAndMeasureUs();
    EXPECT_EQ(pWorker->m_nSlept, 4);
  } else if (name == "blocked_worker") {
    // Two workers asleep: one deadline covers both, and both are still
    // asleep when the child returns from main.
    PostSleep(1001, pWorker, 20000);
    PostSleep(1, pWorker, 20000);
    nUs = StopAndMeasureUs();
  } else if (name == "late_worker") {
    QueueAction(1001, new CQenQueuedAction1<Worker, int>(&Worker::PostLate, pWorker, 6000));
    nUs = StopAndMeasureUs();
    for (int i = 0; i < 500 && !pWorker->m_bLateDone; ++i)
      std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(pWorker->m_bLateDone);
    EXPECT_TRUE(pWorker->m_bLateLookupNull);
    EXPECT_EQ(Counted::s_nLive, 0);
  } else {
    ADD_FAILURE() << "unknown child case " << name;
  }
  ExpectPostsRefused(pWorker);
  StopAllQueuedThreads();  // a second call finds nothing to do
  return nUs;
}

struct ChildResult {
  bool bExited = false;
  int nStatus = -1;
  long nStopUs = -1;
  long nTotalMs = -1;
};

ChildResult SpawnChild(const std::string& name) {
  ChildResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return result;
  std::vector<std::string> env;
  for (char** p = environ; *p != nullptr; ++p) {
    if (std::strncmp(*p, kChildVar, sizeof(kChildVar) - 1) != 0)
      env.emplace_back(*p);
  }
  env.push_back(std::string(kChildVar) + "=" + name);
  std::vector<char*> envp;
  for (std::string& entry : env)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  std::string filter = "--gtest_filter=StopAllQueuedThreadsChild.RunsTheCaseNamedInTheEnvironment";
  char* argv[] = {exe.data(), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);
  pid_t pid = -1;
  auto start = std::chrono::steady_clock::now();
  int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return result;
  }

  // Never wait forever for a child that hangs.
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - start < 60s)
    std::this_thread::sleep_for(10ms);
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  result.nTotalMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
  result.bExited = done == pid && WIFEXITED(status);
  result.nStatus = result.bExited ? WEXITSTATUS(status) : -1;
  char buffer[32] = {};
  ssize_t n = read(fds[0], buffer, sizeof(buffer) - 1);
  if (n > 0)
    result.nStopUs = std::atol(buffer);
  close(fds[0]);
  return result;
}

}  // namespace

TEST(StopAllQueuedThreadsChild, RunsTheCaseNamedInTheEnvironment) {
  const char* pName = std::getenv(kChildVar);
  if (pName == nullptr)
    GTEST_SKIP() << "runs only as the child of the StopAllQueuedThreads tests";
  long nUs = RunChildCase(pName);
  std::string report = std::to_string(nUs) + "\n";
  EXPECT_EQ(write(kReportFd, report.data(), report.size()), ssize_t(report.size()));
}

TEST(StopAllQueuedThreads, ReturnsInTimeAndTheProcessThenExitsCleanly) {
  struct Row {
    const char* name;
    long nMinMs;
    long nMaxMs;  // generous: the figure itself is printed, not asserted
  };
  const Row rows[] = {
      {"key0_only", 0, 500},
      {"idle_workers", 0, 1000},
      {"pending_actions", 200, 3000},  // the first sleep starts before the stop
      {"blocked_worker", 4900, 8000},
      {"late_worker", 4900, 8000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ChildResult result = SpawnChild(row.name);
    std::printf("StopAllQueuedThreads %-16s stop %9.3f ms, child ran %5ld ms, exit status %d\n",
                row.name, result.nStopUs / 1000.0, result.nTotalMs, result.nStatus);
    EXPECT_TRUE(result.bExited);
    EXPECT_EQ(result.nStatus, 0);
    EXPECT_GE(result.nStopUs, row.nMinMs * 1000);
    EXPECT_LE(result.nStopUs, row.nMaxMs * 1000);
    EXPECT_LT(result.nTotalMs, row.nMaxMs + 5000);
  }
}
