#include "global/LogFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "global/PathUtils.h"
#include "global/TimeUtils.h"
#include "platform/LocalTime.h"
#include "platform/Process.h"
#include "platform/Utf.h"
#include "tests/support/LogTestSupport.h"

extern char** environ;

namespace {

constexpr size_t kLimit = 1048576;
// Environment of the second writer process: "<log path>|<lines per thread>".
constexpr const char* kChildEnv = "QEN_LOGFILE_TEST_CHILD";
// The second writer waits on this descriptor for the start signal.
constexpr int kChildGoFd = 10;

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }
std::u16string U16(const std::string& text) { return platform::Utf8ToUtf16(text); }

using tests::ReadBytes;
using tests::WaitForChild;
using tests::WriteBytes;

std::u16string DecodeUtf16Le(const std::string& bytes, size_t from) {
  std::u16string text;
  for (size_t i = from; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

// Lines of a log's content after its BOM; false when a CR LF is missing at the end.
bool SplitLogLines(const std::u16string& text, std::vector<std::u16string>& lines) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) return false;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

struct LogLine {
  std::u16string name, stamp, message;
  uint32_t pid = 0, tid = 0;
};

bool ParseNumber(const std::u16string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char16_t ch : text) {
    if (ch < u'0' || ch > u'9') return false;
    v = v * 10 + static_cast<uint64_t>(ch - u'0');
  }
  value = static_cast<uint32_t>(v);
  return true;
}

// "<name> <stamp> (<pid>-<tid>): <message>"
bool ParseLogLine(const std::u16string& line, LogLine& out) {
  const size_t sep = line.find(u"): ");
  if (sep == std::u16string::npos) return false;
  const size_t open = line.rfind(u" (", sep);
  const size_t space = line.find(u' ');
  if (open == std::u16string::npos || space == std::u16string::npos || space >= open) return false;
  const std::u16string ids = line.substr(open + 2, sep - open - 2);
  const size_t dash = ids.find(u'-');
  if (dash == std::u16string::npos) return false;
  if (!ParseNumber(ids.substr(0, dash), out.pid) || !ParseNumber(ids.substr(dash + 1), out.tid))
    return false;
  out.name = line.substr(0, space);
  out.stamp = line.substr(space + 1, open - space - 1);
  out.message = line.substr(sep + 3);
  return true;
}

std::u16string ProgramName() {
  return GetFileNameWithExt(GetLongPath(platform::GetModuleFileName()));
}

class LogFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = U8(GetTempFolder()) + "qen_logfile_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern + "/";
    m_path = m_dir + "QenBoxClient.log";
  }
  void TearDown() override {
    std::string command = "rm -rf '" + m_dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  std::string m_dir;
  std::string m_path;
};

TEST_F(LogFileTest, LineLayoutDecodedFromTheFile) {
  struct Row {
    const char* name;
    std::u16string message;
    std::u16string expected;
  };
  const std::vector<Row> rows = {
      {"plain", u"Can't enable boardcast!", u"Can't enable boardcast!"},
      {"CR LF becomes two blanks", u"first\r\nsecond", u"first  second"},
      {"lone CR and LF", u"a\rb\nc\r", u"a b c "},
      {"empty message", u"", u""},
      {"wide text", u"找到Qen盒子 <&>", u"找到Qen盒子 <&>"},
  };
  const std::u16string path = U16(m_path);
  const std::u16string before = GetDateTimeText(platform::GetLocalTime());
  for (const Row& row : rows) AppendLogLine(path, row.message);
  uint32_t workerTid = 0;
  std::thread worker([&] {
    workerTid = platform::GetCurrentThreadId();
    AppendLogLine(path, u"from a worker");
  });
  worker.join();
  const std::u16string after = GetDateTimeText(platform::GetLocalTime());

  const std::string bytes = ReadBytes(m_path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
  std::vector<std::u16string> lines;
  ASSERT_TRUE(SplitLogLines(DecodeUtf16Le(bytes, 2), lines)) << "the last line lacks CR LF";
  ASSERT_EQ(lines.size(), rows.size() + 1);

  for (size_t i = 0; i < lines.size(); ++i) {
    const bool fromWorker = i == rows.size();
    SCOPED_TRACE(fromWorker ? "worker thread" : rows[i].name);
    LogLine parsed;
    ASSERT_TRUE(ParseLogLine(lines[i], parsed)) << U8(lines[i]);
    EXPECT_EQ(parsed.name, ProgramName());
    EXPECT_TRUE(parsed.stamp == before || parsed.stamp == after) << U8(parsed.stamp);
    EXPECT_EQ(parsed.pid, platform::GetCurrentProcessId());
    EXPECT_EQ(parsed.tid, fromWorker ? workerTid : platform::GetCurrentThreadId());
    EXPECT_EQ(parsed.message, fromWorker ? u"from a worker" : rows[i].expected);
    // The exact layout, not just what the parser accepts.
    const std::u16string prefix = parsed.name + u" " + parsed.stamp + u" (" +
                                  U16(std::to_string(parsed.pid)) + u"-" +
                                  U16(std::to_string(parsed.tid)) + u"): ";
    EXPECT_EQ(lines[i], prefix + parsed.message);
  }
}

TEST_F(LogFileTest, ResetOnlyAboveTheLimitOrWithoutTheUtf16Mark) {
  const std::string bom = "\xFF\xFE";
  struct Row {
    const char* name;
    bool exists;
    std::string content;
    bool appended;
  };
  const std::vector<Row> rows = {
      {"no file yet", false, "", false},
      {"empty file", true, "", false},
      {"exactly the limit", true, bom + std::string(kLimit - 2, 'a'), true},
      {"one byte above the limit", true, bom + std::string(kLimit - 1, 'a'), false},
      {"UTF-8 mark", true, "\xEF\xBB\xBF" "abcdef", false},
      {"no mark", true, "abcdef", false},
      {"mark only", true, bom, false},
      {"mark and one byte", true, bom + "A", false},
      {"small UTF-16 log", true, bom + std::string("A\0", 2), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(m_path.c_str());
    if (row.exists) WriteBytes(m_path, row.content);
    AppendLogLine(U16(m_path), u"new line");

    const std::string bytes = ReadBytes(m_path);
    const std::string kept = row.appended ? row.content : bom;
    ASSERT_GE(bytes.size(), kept.size());
    EXPECT_TRUE(bytes.compare(0, kept.size(), kept) == 0);
    std::vector<std::u16string> lines;
    ASSERT_TRUE(SplitLogLines(DecodeUtf16Le(bytes, kept.size()), lines));
    ASSERT_EQ(lines.size(), 1u);
    LogLine parsed;
    ASSERT_TRUE(ParseLogLine(lines[0], parsed));
    EXPECT_EQ(parsed.message, u"new line");
  }
}

TEST_F(LogFileTest, UnwritablePlacesDropTheLine) {
  WriteBytes(m_dir + "plain-file", "x");
  struct Row {
    const char* name;
    std::string path;
  };
  const std::vector<Row> rows = {
      {"empty path", ""},
      {"missing folder", m_dir + "missing/QenBoxClient.log"},
      {"path is a folder", m_dir},
      {"folder is a file", m_dir + "plain-file/QenBoxClient.log"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AppendLogLine(U16(row.path), u"dropped");
  }
  struct stat st {};
  EXPECT_NE(stat((m_dir + "missing").c_str(), &st), 0);
  EXPECT_EQ(ReadBytes(m_dir + "plain-file"), "x");
}

// Lowers the file size limit for this process (writes past it come back short,
// as on a full disk) and ignores SIGXFSZ, until destroyed.
class CFileSizeLimit {
public:
  explicit CFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = m_saved;
    lowered.rlim_cur = bytes;
    m_ok = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~CFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_saved);
    signal(SIGXFSZ, m_oldHandler);
  }
  bool Ok() const { return m_ok; }

private:
  rlimit m_saved {};
  void (*m_oldHandler)(int) = SIG_DFL;
  bool m_ok = false;
};

// A write cut short leaves the file as it was, not with part of a line that
// would shift every later UTF-16 line by a byte; the next line goes in whole.
TEST_F(LogFileTest, WriteCutShortLeavesNoPartialLine) {
  struct Row {
    const char* name;
    bool existing;   // starts from a log holding one line
    size_t allowed;  // bytes the file may grow by before writes come back short
  };
  const std::vector<Row> rows = {
      {"new file, cut inside the mark", false, 1},
      {"new file, cut inside the line", false, 51},
      {"existing log, cut after one byte", true, 1},
      {"existing log, cut mid-line", true, 40},
      {"existing log, no room at all", true, 0},
  };
  const std::u16string path = U16(m_path);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(m_path.c_str());
    if (row.existing) AppendLogLine(path, u"first");
    const std::string before = ReadBytes(m_path);
    {
      CFileSizeLimit limit(before.size() + row.allowed);
      ASSERT_TRUE(limit.Ok());
      AppendLogLine(path, u"cut short");
    }
    EXPECT_EQ(ReadBytes(m_path), before);

    AppendLogLine(path, u"after");
    const std::string bytes = ReadBytes(m_path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
    std::vector<std::u16string> lines;
    ASSERT_TRUE(SplitLogLines(DecodeUtf16Le(bytes, 2), lines));
    std::vector<std::u16string> messages;
    for (const std::u16string& line : lines) {
      LogLine parsed;
      ASSERT_TRUE(ParseLogLine(line, parsed)) << U8(line);
      messages.push_back(parsed.message);
    }
    const std::vector<std::u16string> expected =
        row.existing ? std::vector<std::u16string>{u"first", u"after"}
                     : std::vector<std::u16string>{u"after"};
    EXPECT_EQ(messages, expected);
  }
}

// M1: a writer waits for a lock another writer holds, and follows a file that
// was replaced while it waited instead of writing into the old inode.
TEST_F(LogFileTest, WaitsForTheLockAndWritesToTheFileThePathNames) {
  struct Row {
    const char* name;
    bool replaceWhileLocked;
  };
  const std::vector<Row> rows = {{"lock released", false}, {"file moved away while locked", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(m_path.c_str());
    const std::string moved = m_dir + "moved.log";
    std::remove(moved.c_str());
    AppendLogLine(U16(m_path), u"first");

    const int fd = open(m_path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::thread writer([&] { AppendLogLine(U16(m_path), u"second"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const size_t sizeWhileLocked = ReadBytes(m_path).size();
    if (row.replaceWhileLocked) {
      ASSERT_EQ(rename(m_path.c_str(), moved.c_str()), 0);
    }
    ASSERT_EQ(flock(fd, LOCK_UN), 0);
    close(fd);
    writer.join();

    std::vector<std::u16string> lines;
    const std::string bytes = ReadBytes(m_path);
    ASSERT_TRUE(SplitLogLines(DecodeUtf16Le(bytes, 2), lines));
    std::vector<std::u16string> messages;
    for (const std::u16string& line : lines) {
      LogLine parsed;
      ASSERT_TRUE(ParseLogLine(line, parsed));
      messages.push_back(parsed.message);
    }
    if (row.replaceWhileLocked) {
      EXPECT_EQ(messages, std::vector<std::u16string>{u"second"});
      EXPECT_EQ(ReadBytes(moved).size(), sizeWhileLocked);
    } else {
      EXPECT_EQ(messages, (std::vector<std::u16string>{u"first", u"second"}));
      EXPECT_LT(sizeWhileLocked, bytes.size()) << "the writer did not wait for the lock";
    }
  }
}

std::u16string WriterMessage(const std::string& writer, int seq) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "writer %s line %06d end", writer.c_str(), seq);
  return U16(buffer);
}

void WriteLines(const std::u16string& path, const std::string& writer, int count) {
  for (int seq = 0; seq < count; ++seq) AppendLogLine(path, WriterMessage(writer, seq));
}

// Two writer threads of one process, started together on a signal.
class CWriterPair {
public:
  CWriterPair(const std::u16string& path, const std::string& process, int count) {
    for (int i = 0; i < 2; ++i) {
      m_threads.emplace_back([this, path, process, count, i] {
        {
          std::unique_lock<std::mutex> lock(m_mutex);
          m_cv.wait(lock, [this] { return m_go; });
        }
        WriteLines(path, process + std::to_string(i), count);
      });
    }
  }
  void Go() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_go = true;
    m_cv.notify_all();
  }
  void Join() {
    for (std::thread& thread : m_threads) {
      if (thread.joinable()) thread.join();
    }
  }
  // A failed assertion may leave before the start signal.
  ~CWriterPair() {
    Go();
    Join();
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_go = false;
  std::vector<std::thread> m_threads;
};

// The second writer process of the concurrency test is this program started
// again with kChildEnv set: it writes its lines and ends before any test runs.
bool RunAsSecondWriterWhenAsked() {
  const char* env = std::getenv(kChildEnv);
  if (env == nullptr) return false;
  const std::string writerArgs = env;
  const size_t bar = writerArgs.rfind('|');
  if (bar == std::string::npos) _exit(2);
  const int count = std::atoi(writerArgs.c_str() + bar + 1);
  pollfd pfd{kChildGoFd, POLLIN, 0};
  char go = 0;
  // No signal (the test ended early): write nothing.
  if (poll(&pfd, 1, 60000) != 1 || read(kChildGoFd, &go, 1) != 1) _exit(3);
  CWriterPair writers(U16(writerArgs.substr(0, bar)), "B", count);
  writers.Go();
  writers.Join();
  std::exit(0);  // not _exit: a sanitizer's findings must reach the exit code
}

[[maybe_unused]] const bool g_secondWriter = RunAsSecondWriterWhenAsked();

// M1: 2 processes x 2 threads write into one log; no line is lost or torn.
// Below the limit every line must be there; across resets the lines since the
// last reset must be complete for every writer.
TEST_F(LogFileTest, ConcurrentWritersLoseNoLineAndTearNone) {
  struct Row {
    const char* name;
    int linesPerThread;
    bool crossesLimit;
  };
  const std::vector<Row> rows = {{"below the limit", 800, false}, {"across resets", 10000, true}};
  const std::vector<std::string> writers = {"A0", "A1", "B0", "B1"};

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(m_path.c_str());
    const std::u16string path = U16(m_path);

    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, go[0], kChildGoFd);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    envStrings.push_back(std::string(kChildEnv) + "=" + m_path + "|" +
                         std::to_string(row.linesPerThread));
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe";
    char* argv[] = {exe.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(go[0]);
    ASSERT_EQ(spawned, 0);

    CWriterPair own(path, "A", row.linesPerThread);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(go[1], "g", 1), 1);
    own.Go();
    own.Join();
    int status = 0;
    const bool exited =
        WaitForChild(child, std::chrono::steady_clock::now() + std::chrono::seconds(300), status);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(go[1]);
    ASSERT_TRUE(exited) << "the second writer process did not finish";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string bytes = ReadBytes(m_path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
    std::vector<std::u16string> lines;
    EXPECT_TRUE(SplitLogLines(DecodeUtf16Le(bytes, 2), lines)) << "the file ends in a torn line";

    const std::u16string programName = ProgramName();
    std::map<std::string, std::vector<int>> seen;
    std::map<std::string, std::set<uint32_t>> pids;
    size_t torn = 0, processSwitches = 0;
    char lastProcess = 0;
    for (const std::u16string& line : lines) {
      LogLine parsed;
      char writer[8] = {};
      int seq = -1;
      if (!ParseLogLine(line, parsed) || parsed.name != programName ||
          std::sscanf(U8(parsed.message).c_str(), "writer %2s line %d", writer, &seq) != 2 ||
          std::find(writers.begin(), writers.end(), writer) == writers.end() ||
          parsed.message != WriterMessage(writer, seq)) {
        ++torn;
        continue;
      }
      seen[writer].push_back(seq);
      pids[writer].insert(parsed.pid);
      if (lastProcess != 0 && lastProcess != writer[0]) ++processSwitches;
      lastProcess = writer[0];
    }

    // Each writer's lines appear in its own order, each once and without a
    // gap, up to its last line; below the limit from its first line on.
    size_t lost = 0, duplicated = 0, disordered = 0, present = 0;
    for (const std::string& writer : writers) {
      SCOPED_TRACE(writer);
      const std::vector<int>& seqs = seen[writer];
      present += seqs.size();
      if (seqs.empty() && row.crossesLimit) continue;
      const std::set<int> unique(seqs.begin(), seqs.end());
      duplicated += seqs.size() - unique.size();
      if (!std::is_sorted(seqs.begin(), seqs.end())) ++disordered;
      const int first = row.crossesLimit ? seqs.front() : 0;
      for (int seq = first; seq < row.linesPerThread; ++seq) lost += unique.count(seq) == 0;
      if (seqs.empty()) continue;
      EXPECT_EQ(pids[writer].size(), 1u);
      EXPECT_EQ(*pids[writer].begin() == platform::GetCurrentProcessId(), writer[0] == 'A');
    }
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(lost, 0u);
    EXPECT_EQ(duplicated, 0u);
    EXPECT_EQ(disordered, 0u);
    if (row.crossesLimit) {
      EXPECT_LT(present, static_cast<size_t>(4 * row.linesPerThread)) << "no reset happened";
      EXPECT_LE(bytes.size(), kLimit + 2 * 200) << "the log outgrew its limit";
    } else {
      EXPECT_LE(bytes.size(), kLimit) << "this row must stay below the limit";
    }
    const int total = 4 * row.linesPerThread;
    std::printf("[ figure ] %s: %d lines, 2 processes x 2 threads, %.2f s, %zu lines in the "
                "final file (%zu switches between the processes), lost %zu, torn %zu\n",
                row.name, total, seconds, present, processSwitches, lost, torn);
    RecordProperty(std::string(row.crossesLimit ? "across_resets" : "below_limit") + "_seconds",
                   std::to_string(seconds));
  }
}

}  // namespace
