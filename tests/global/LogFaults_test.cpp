// The log where it cannot be written: read-only mounts, folders and files a
// non-root writer may not touch, and a full disk. The writer drops what it
// cannot write, never leaves a partial line, and writes again once it can.
//
// Needs root (mounts, a second user id); each test runs on a thread of its own
// with a private mount namespace (unshare), so its mounts vanish with the
// thread, and changes only that thread's user id (the raw system call).
#include "global/LogFile.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "global/PathUtils.h"
#include "platform/Utf.h"
#include "tests/support/LogTestSupport.h"

namespace {

constexpr uid_t kNobody = 65534;

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }
std::u16string U16(const std::string& text) { return platform::Utf8ToUtf16(text); }

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

using tests::ReadBytes;
using tests::WriteBytes;

// The messages of a log, or false when it is not a well-formed UTF-16 log:
// the mark, an even length, every line whole and ending in CR LF.
bool LogMessages(const std::string& bytes, std::vector<std::string>& messages) {
  messages.clear();
  if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.compare(0, 2, "\xFF\xFE") != 0) return false;
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) return false;
    const std::u16string line = text.substr(start, end - start);
    const size_t sep = line.find(u"): ");
    if (sep == std::u16string::npos) return false;
    messages.push_back(U8(line.substr(sep + 3)));
    start = end + 2;
  }
  return !messages.empty();
}

// Runs body on a new thread with a mount namespace of its own; false (with
// the reason) when the namespace cannot be made.
bool RunInPrivateMounts(const std::function<void()>& body, std::string& error) {
  bool ok = false;
  std::thread worker([&] {
    if (unshare(CLONE_NEWNS) != 0) {
      error = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
      return;
    }
    // Nothing mounted here may reach the machine's own mount table.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      error = std::string("making / private: ") + std::strerror(errno);
      return;
    }
    ok = true;
    body();
  });
  worker.join();
  return ok;
}

// Switches the calling thread alone to another effective user id, and back
// when destroyed (the real and saved ids stay root).
class CThreadUser {
public:
  explicit CThreadUser(uid_t uid) {
    m_ok = syscall(SYS_setresgid, -1, static_cast<gid_t>(uid), -1) == 0 &&
           syscall(SYS_setresuid, -1, uid, -1) == 0;
  }
  ~CThreadUser() {
    syscall(SYS_setresuid, -1, 0, -1);
    syscall(SYS_setresgid, -1, 0, -1);
  }
  bool Ok() const { return m_ok && geteuid() != 0; }

private:
  bool m_ok = false;
};

class LogFaultsTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (geteuid() != 0)
      GTEST_SKIP() << "log fault tests need root (tmpfs mounts, a second user id); run them as root";
    std::string pattern = U8(GetTempFolder()) + "qen_logfaults_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    ASSERT_EQ(chmod(m_dir.c_str(), 0755), 0);
  }
  void TearDown() override {
    if (m_dir.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }

  std::string m_dir;
};

TEST_F(LogFaultsTest, UnwritablePlacesDropTheLineAndLaterLinesGoIn) {
  struct Row {
    const char* name;
    bool existingLog;  // the log holds "before" when the fault starts
    // Makes folder (with the log inside) unwritable and returns the path to
    // write through; "" when it could not.
    std::function<std::string(const std::string& folder)> fault;
    // Undoes it; the path it returns then takes lines again.
    std::function<std::string(const std::string& folder)> mend;
    bool asNobody;  // the writer runs under an ordinary user id
  };
  auto remount = [](const std::string& folder, unsigned long flags) {
    return mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | flags, nullptr) == 0;
  };
  const std::vector<Row> rows = {
      {"read-only tmpfs, no log yet", false,
       [&](const std::string& f) { return remount(f, MS_RDONLY) ? f : ""; },
       [&](const std::string& f) { return remount(f, 0) ? f : ""; }, false},
      {"read-only tmpfs with a log", true,
       [&](const std::string& f) { return remount(f, MS_RDONLY) ? f : ""; },
       [&](const std::string& f) { return remount(f, 0) ? f : ""; }, false},
      {"read-only bind mount of the folder", true,
       [&](const std::string& f) {
         const std::string view = f + "-ro";
         if (mkdir(view.c_str(), 0755) != 0 || mount(f.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
             !remount(view, MS_BIND | MS_RDONLY))
           return std::string();
         return view;
       },
       [](const std::string& f) { return f; }, false},
      {"folder 0555, ordinary user, no log yet", false,
       [](const std::string& f) { return chmod(f.c_str(), 0555) == 0 ? f : ""; },
       [](const std::string& f) { return chmod(f.c_str(), 0777) == 0 ? f : ""; }, true},
      {"log 0444 in an open folder, ordinary user", true,
       [](const std::string& f) {
         return chmod(f.c_str(), 0777) == 0 && chmod((f + "/QenBoxClient.log").c_str(), 0444) == 0 ? f : "";
       },
       [](const std::string& f) { return chmod((f + "/QenBoxClient.log").c_str(), 0666) == 0 ? f : ""; },
       true},
  };

  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    const std::string folder = m_dir + "/row" + std::to_string(i);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string error;
    const bool ran = RunInPrivateMounts(
        [&] {
          ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m,mode=0755"), 0) << std::strerror(errno);
          const std::string log = folder + "/QenBoxClient.log";
          if (row.existingLog) AppendLogLine(U16(log), u"before");
          const std::string before = ReadBytes(log);

          const std::string faulty = row.fault(folder);
          ASSERT_NE(faulty, "") << "could not set up the fault: " << std::strerror(errno);
          {
            CThreadUser user(row.asNobody ? kNobody : 0);
            if (row.asNobody) {
              ASSERT_TRUE(user.Ok()) << "cannot switch to uid " << kNobody;
            }
            for (int n = 0; n < 3; ++n) AppendLogLine(U16(faulty + "/QenBoxClient.log"), u"dropped");
          }
          EXPECT_EQ(Exists(log), row.existingLog);
          EXPECT_EQ(ReadBytes(log), before);

          const std::string mended = row.mend(folder);
          ASSERT_NE(mended, "") << "could not undo the fault: " << std::strerror(errno);
          {
            CThreadUser user(row.asNobody ? kNobody : 0);
            AppendLogLine(U16(mended + "/QenBoxClient.log"), u"after");
          }
          std::vector<std::string> messages;
          EXPECT_TRUE(LogMessages(ReadBytes(log), messages));
          const std::vector<std::string> expected =
              row.existingLog ? std::vector<std::string>{"before", "after"} : std::vector<std::string>{"after"};
          EXPECT_EQ(messages, expected);
        },
        error);
    ASSERT_TRUE(ran) << error;
  }
}

// A 64 KiB tmpfs fills up under the log: after every call the log is still a
// well-formed log (a cut-short write is taken back off), the writer keeps
// returning, and once space is freed the next line goes in whole.
TEST_F(LogFaultsTest, FullDiskLeavesNoPartialLineAndWritingGoesOnWhenSpaceFrees) {
  struct Row {
    const char* name;
    size_t messageLength;
    size_t fillerBytes;  // a file that takes space beside the log, freed later
  };
  const std::vector<Row> rows = {
      {"short lines", 20, 16384},
      {"lines of some 6 KB", 3000, 16384},
      {"lines of some 6 KB, odd filler", 3001, 16385},
      {"a line larger than the disk", 40000, 4096},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    const std::string folder = m_dir + "/full" + std::to_string(i);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string error;
    const bool ran = RunInPrivateMounts(
        [&] {
          ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0755"), 0) << std::strerror(errno);
          const std::string log = folder + "/QenBoxClient.log";
          const std::string filler = folder + "/filler";
          WriteBytes(filler, std::string(row.fillerBytes, 'f'));
          ASSERT_EQ(ReadBytes(filler).size(), row.fillerBytes);

          std::string message(row.messageLength, 'x');
          size_t written = 0, badStates = 0, calls = 0;
          size_t unchangedCalls = 0, lastSize = 0;
          std::vector<std::string> messages;
          // Until the log has stopped growing for a while: the disk is full.
          while (unchangedCalls < 20 && calls < 2000) {
            message.replace(0, 8, std::to_string(10000000 + calls));
            AppendLogLine(U16(log), U16(message));
            ++calls;
            const std::string bytes = ReadBytes(log);
            if (!bytes.empty() && !LogMessages(bytes, messages)) ++badStates;
            if (bytes.size() == lastSize) {
              ++unchangedCalls;
            } else {
              unchangedCalls = 0;
              lastSize = bytes.size();
              written = messages.size();
            }
          }
          EXPECT_EQ(badStates, 0u) << "a partial line was left in the log";
          EXPECT_LT(calls, 2000u) << "the disk never filled";
          if (row.messageLength < 10000) {
            EXPECT_GT(written, 0u);
          }

          ASSERT_EQ(std::remove(filler.c_str()), 0);
          const size_t sizeFull = ReadBytes(log).size();
          AppendLogLine(U16(log), u"after space was freed");
          const std::string bytes = ReadBytes(log);
          ASSERT_TRUE(LogMessages(bytes, messages)) << "size " << bytes.size();
          EXPECT_EQ(messages.back(), "after space was freed");
          EXPECT_EQ(messages.size(), written + 1);
          EXPECT_GT(bytes.size(), sizeFull);
          std::printf("[ figure ] %s: %zu calls, %zu lines in the full log (%zu bytes)\n", row.name, calls,
                      written, sizeFull);
        },
        error);
    ASSERT_TRUE(ran) << error;
  }
}

}  // namespace
