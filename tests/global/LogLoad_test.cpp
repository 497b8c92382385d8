// The log under load: several writer processes of several threads each fill
// one log many times past its limit. Every line must turn up exactly once in
// one of the log's generations (the file as it was just before each reset, and
// the final file), whole, and each generation must be a well-formed UTF-16 log.
#include "global/LogFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "global/PathUtils.h"
#include "platform/Process.h"
#include "platform/Utf.h"
#include "tests/support/LogTestSupport.h"

extern char** environ;

namespace {

constexpr size_t kLimit = 1048576;
constexpr char kLogName[] = "QenBoxClient.log";
// Environment of a writer process: "<log path>|<process index>|<threads>|<lines per thread>".
constexpr const char* kWriterEnv = "QEN_LOGLOAD_WRITER";
// Folder a writer process copies each generation into before it is reset.
constexpr const char* kArchiveEnv = "QEN_LOGLOAD_ARCHIVE";
// A writer process waits on this descriptor for the start signal.
constexpr int kGoFd = 10;

const char* g_pszArchive = nullptr;
std::atomic<unsigned> g_nArchived{0};

bool IsTheLog(int fd) {
  char link[64];
  std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = readlink(link, target, sizeof(target) - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  const size_t nameLength = sizeof(kLogName) - 1;
  return static_cast<size_t>(n) > nameLength &&
         std::strcmp(target + n - nameLength, kLogName) == 0 && target[n - nameLength - 1] == '/';
}

// Keeps a copy of the log as it is: the writer holds the log's lock here, so
// the copy is exactly the generation the reset ends.
void ArchiveGeneration(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return;
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  char name[128];
  std::snprintf(name, sizeof(name), "/gen-%d-%u.bin", static_cast<int>(getpid()), g_nArchived++);
  std::ofstream out(std::string(g_pszArchive) + name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

// The log writer empties its file in place with ftruncate; this definition
// takes the call in the writer processes of this test, so each generation can
// be looked at before it is gone. Without kArchiveEnv it only passes the call on.
extern "C" int ftruncate(int fd, off_t length) {
  if (g_pszArchive != nullptr && length == 0 && IsTheLog(fd)) ArchiveGeneration(fd);
  return static_cast<int>(syscall(SYS_ftruncate, fd, length));
}

namespace {

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }
std::u16string U16(const std::string& text) { return platform::Utf8ToUtf16(text); }

using tests::ReadBytes;
using tests::WaitForChild;

std::u16string WriterMessage(int process, int thread, int seq) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "load P%d T%d line %06d end", process, thread, seq);
  return U16(buffer);
}

// A writer process is this program started again with kWriterEnv set: it
// writes its lines from its threads and ends before any test runs.
bool RunAsWriterWhenAsked() {
  const char* env = std::getenv(kWriterEnv);
  if (env == nullptr) return false;
  g_pszArchive = std::getenv(kArchiveEnv);
  const std::string writerArgs = env;
  const size_t bar = writerArgs.find('|');
  int process = 0, threads = 0, lines = 0;
  if (bar == std::string::npos ||
      std::sscanf(writerArgs.c_str() + bar + 1, "%d|%d|%d", &process, &threads, &lines) != 3)
    _exit(2);
  const std::u16string path = U16(writerArgs.substr(0, bar));
  pollfd pfd{kGoFd, POLLIN, 0};
  char go = 0;
  // No signal (the test ended early): write nothing.
  if (poll(&pfd, 1, 60000) != 1 || read(kGoFd, &go, 1) != 1) _exit(3);
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([&path, process, t, lines] {
      for (int seq = 0; seq < lines; ++seq) AppendLogLine(path, WriterMessage(process, t, seq));
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::exit(0);  // not _exit: a sanitizer's findings must reach the exit code
}

[[maybe_unused]] const bool g_bWriter = RunAsWriterWhenAsked();

pid_t SpawnWriter(const std::string& logPath, const std::string& archive, int process, int threads,
                  int lines, int goFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, goFd, kGoFd);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
  envStrings.push_back(std::string(kWriterEnv) + "=" + logPath + "|" + std::to_string(process) + "|" +
                       std::to_string(threads) + "|" + std::to_string(lines));
  envStrings.push_back(std::string(kArchiveEnv) + "=" + archive);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string exe = "/proc/self/exe";
  char* argv[] = {exe.data(), nullptr};
  pid_t child = -1;
  const int rc = posix_spawn(&child, exe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? child : -1;
}

// What one generation of the log held.
struct Generation {
  std::string name;
  size_t bytes = 0;
  size_t lines = 0;
  size_t torn = 0;        // lines that are not one writer's whole line
  size_t disordered = 0;  // writers whose lines are out of order here
  bool wellFormed = true; // mark, even length, ends in CR LF
};

class LogLoadTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = U8(GetTempFolder()) + "qen_logload_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_archive = m_dir + "/generations";
    ASSERT_EQ(mkdir(m_archive.c_str(), 0700), 0);
    m_path = m_dir + "/" + kLogName;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }

  // Parses one generation; counts each (process, thread, seq) it holds.
  Generation Check(const std::string& name, const std::string& bytes, int processes, int threads,
                   int lines, std::vector<unsigned char>& seen) {
    Generation gen;
    gen.name = name;
    gen.bytes = bytes.size();
    gen.wellFormed = bytes.size() >= 2 && bytes.size() % 2 == 0 &&
                     static_cast<unsigned char>(bytes[0]) == 0xFF &&
                     static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    if (text.size() < 2 || text.compare(text.size() - 2, 2, u"\r\n") != 0) gen.wellFormed = false;
    std::vector<int> last(static_cast<size_t>(processes * threads), -1);
    std::vector<bool> outOfOrder(last.size(), false);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(u"\r\n", start);
      if (end == std::u16string::npos) end = text.size();
      const std::u16string line = text.substr(start, end - start);
      start = end + 2;
      ++gen.lines;
      const size_t sep = line.find(u"): ");
      int p = -1, t = -1, seq = -1;
      if (sep == std::u16string::npos || line.compare(0, m_prefix.size(), m_prefix) != 0 ||
          std::sscanf(U8(line.substr(sep + 3)).c_str(), "load P%d T%d line %d", &p, &t, &seq) != 3 ||
          p < 0 || p >= processes || t < 0 || t >= threads || seq < 0 || seq >= lines ||
          line.substr(sep + 3) != WriterMessage(p, t, seq)) {
        ++gen.torn;
        continue;
      }
      const size_t writer = static_cast<size_t>(p * threads + t);
      if (seen[writer * static_cast<size_t>(lines) + static_cast<size_t>(seq)] < 255)
        ++seen[writer * static_cast<size_t>(lines) + static_cast<size_t>(seq)];
      if (seq <= last[writer]) outOfOrder[writer] = true;
      last[writer] = seq;
    }
    gen.disordered = static_cast<size_t>(std::count(outOfOrder.begin(), outOfOrder.end(), true));
    return gen;
  }

  std::string m_dir, m_archive, m_path;
  // Every line starts with the program's name and a blank.
  std::u16string m_prefix = GetFileNameWithExt(GetLongPath(platform::GetModuleFileName())) + u" ";
};

TEST_F(LogLoadTest, EveryLineOnceInOneGenerationAcrossManyResets) {
  struct Row {
    const char* name;
    int processes, threads, lines;
    int minResets;
  };
  // "full" is the load of record (about 800 000 lines, some 150 resets);
  // "reduced" repeats it at a tenth of the lines.
  const std::vector<Row> rows = {
      {"reduced", 4, 4, 5000, 8},
      {"full", 4, 4, 50000, 100},
  };
  const char* only = std::getenv("QEN_LOGLOAD_ROWS");  // e.g. "reduced" for a quick run
  for (const Row& row : rows) {
    if (only != nullptr && std::strstr(only, row.name) == nullptr) continue;
    SCOPED_TRACE(row.name);
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
    for (const auto& entry : std::filesystem::directory_iterator(m_archive))
      std::filesystem::remove(entry.path(), ignored);

    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < row.processes; ++p) {
      const pid_t child = SpawnWriter(m_path, m_archive, p, row.threads, row.lines, go[0]);
      EXPECT_GT(child, 0);
      if (child > 0) children.push_back(child);
    }
    close(go[0]);
    const auto start = std::chrono::steady_clock::now();
    // One byte per process wakes them all together.
    for (size_t i = 0; i < children.size(); ++i) EXPECT_EQ(write(go[1], "g", 1), 1);
    const auto deadline = start + std::chrono::seconds(600);
    size_t failedWriters = 0;
    for (pid_t child : children) {
      int status = 0;
      if (!WaitForChild(child, deadline, status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        ++failedWriters;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(go[1]);
    ASSERT_EQ(children.size(), static_cast<size_t>(row.processes));
    ASSERT_EQ(failedWriters, 0u) << "a writer process failed or did not finish";

    const size_t writers = static_cast<size_t>(row.processes * row.threads);
    std::vector<unsigned char> seen(writers * static_cast<size_t>(row.lines), 0);
    std::vector<Generation> generations;
    std::vector<std::filesystem::path> archived;
    for (const auto& entry : std::filesystem::directory_iterator(m_archive)) archived.push_back(entry.path());
    std::sort(archived.begin(), archived.end());
    for (const auto& file : archived) {
      generations.push_back(Check(file.filename().string(), ReadBytes(file.string()), row.processes,
                                  row.threads, row.lines, seen));
      std::filesystem::remove(file, ignored);  // keeps the disk use to one generation's worth
    }
    const Generation last = Check("final file", ReadBytes(m_path), row.processes, row.threads, row.lines, seen);

    // A reset happens only above the limit, before the line that finds it so:
    // a generation ends at most one line (name, stamp, ids, message) past it.
    const size_t longestLine = 2 * (m_prefix.size() + 259 + 26 + 64 + 2);
    size_t torn = last.torn, disordered = last.disordered, badGenerations = 0, totalLines = last.lines;
    for (const Generation& gen : generations) {
      SCOPED_TRACE(gen.name);
      torn += gen.torn;
      disordered += gen.disordered;
      totalLines += gen.lines;
      EXPECT_TRUE(gen.wellFormed);
      EXPECT_GT(gen.bytes, kLimit) << "reset below the limit";
      EXPECT_LE(gen.bytes, kLimit + longestLine) << "the log outgrew its limit";
      if (!gen.wellFormed || gen.bytes <= kLimit || gen.bytes > kLimit + longestLine) ++badGenerations;
    }
    EXPECT_TRUE(last.wellFormed);
    size_t lost = 0, duplicated = 0;
    for (unsigned char count : seen) {
      lost += count == 0;
      duplicated += count > 1;
    }
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(lost, 0u);
    EXPECT_EQ(duplicated, 0u);
    EXPECT_EQ(disordered, 0u);
    EXPECT_EQ(badGenerations, 0u);
    EXPECT_GE(generations.size(), static_cast<size_t>(row.minResets)) << "too few resets";
    std::printf("[ figure ] %s: %zu lines written by %d processes x %d threads in %.2f s, %zu resets, "
                "%zu lines found (%zu lost, %zu twice, %zu torn, %zu writers out of order)\n",
                row.name, seen.size(), row.processes, row.threads, seconds, generations.size(),
                totalLines, lost, duplicated, torn, disordered);
    RecordProperty(std::string(row.name) + "_seconds", std::to_string(seconds));
  }
}

}  // namespace
