#include "global/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "global/NeverDestroyed.h"
#include "global/PathUtils.h"
#include "global/TimeUtils.h"
#include "platform/LocalTime.h"
#include "platform/Process.h"
#include "platform/Utf.h"
#include "queue/SyncObjects.h"

namespace {

constexpr uint64_t kMaxLogSize = 1048576;
constexpr size_t kMaxTimeStampLength = 259;
// Attempts to lock a file that is still the one the path names.
constexpr int kOpenAttempts = 8;

const std::u16string& ProgramName() {
  static NeverDestroyed<std::u16string> name(
      GetFileNameWithExt(GetLongPath(platform::GetModuleFileName())));
  return name.Get();
}

void AppendNumber(std::u16string& text, uint32_t value) {
  for (char ch : std::to_string(value)) text.push_back(static_cast<char16_t>(ch));
}

// The C library's time-zone state and ICU's formatter caches are shared by
// all threads; the log is their only user, so it takes one stamp at a time.
std::u16string TimeStamp() {
  static NeverDestroyed<CQenCriticalSectionObject> stampLock;
  CQenSingleLock lock(&stampLock.Get());
  return GetDateTimeText(platform::GetLocalTime());
}

std::u16string BuildLine(std::u16string_view message) {
  std::u16string line = ProgramName();
  line += u' ';
  std::u16string stamp = TimeStamp();
  if (stamp.size() > kMaxTimeStampLength) stamp.resize(kMaxTimeStampLength);
  line += stamp;
  line += u" (";
  AppendNumber(line, platform::GetCurrentProcessId());
  line += u'-';
  AppendNumber(line, platform::GetCurrentThreadId());
  line += u"): ";
  for (char16_t ch : message) line += (ch == u'\r' || ch == u'\n') ? u' ' : ch;
  line += u"\r\n";
  return line;
}

void AppendUtf16Le(std::string& bytes, std::u16string_view text) {
  for (char16_t ch : text) {
    bytes.push_back(static_cast<char>(ch & 0xFF));
    bytes.push_back(static_cast<char>((ch >> 8) & 0xFF));
  }
}

class CLockedLogFile {
public:
  ~CLockedLogFile() {
    // Closing the descriptor also drops the flock.
    if (m_fd >= 0) ::close(m_fd);
  }

  // Opens (creating) the file at path and waits for its exclusive lock. Gives
  // up only when the file cannot be opened or locked at all.
  bool OpenAndLock(const std::string& path) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      m_fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      if (m_fd < 0) return false;
      int rc;
      do {
        rc = ::flock(m_fd, LOCK_EX);
      } while (rc != 0 && errno == EINTR);
      if (rc != 0) return false;
      // Someone may have removed or replaced the file while we waited; writing
      // to an unlinked inode would lose the line, so lock the new file instead.
      struct stat byFd {}, byPath {};
      if (::fstat(m_fd, &byFd) == 0 && S_ISREG(byFd.st_mode) &&
          ::stat(path.c_str(), &byPath) == 0 && byFd.st_dev == byPath.st_dev &&
          byFd.st_ino == byPath.st_ino) {
        m_size = static_cast<uint64_t>(byFd.st_size);
        return true;
      }
      ::close(m_fd);
      m_fd = -1;
    }
    return false;
  }

  // The same test as QueryFileSize/DetectFileBom, on the locked descriptor:
  // a file of 3 bytes or fewer counts as having no mark.
  bool NeedsReset() const {
    if (m_size > kMaxLogSize || m_size <= 3) return true;
    unsigned char head[2] = {0, 0};
    if (::pread(m_fd, head, sizeof(head), 0) != static_cast<ssize_t>(sizeof(head))) return true;
    return head[0] != 0xFF || head[1] != 0xFE;
  }

  // Empties the file in place, keeping the inode every writer locks.
  bool Reset() {
    if (::ftruncate(m_fd, 0) != 0) return false;
    m_size = 0;
    return true;
  }

  uint64_t Size() const { return m_size; }

  // Appends bytes whole or not at all: a write cut short (a full disk, the
  // file size limit) is cut back off, since a partial line would leave the
  // UTF-16 file torn, or shifted by one byte, for every later line.
  void WriteAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (done > 0) CutBack();
        return;
      }
      done += static_cast<size_t>(n);
    }
  }

private:
  // Back to the size the file had when it was locked (0 after a reset).
  bool CutBack() { return ::ftruncate(m_fd, static_cast<off_t>(m_size)) == 0; }

  int m_fd = -1;
  uint64_t m_size = 0;
};

}  // namespace

void AppendLogLine(const std::u16string& path, std::u16string_view message) {
  // A diagnostic must never disturb the caller: every failure drops the line.
  try {
    if (path.empty()) return;
    std::string bytes;
    const std::u16string line = BuildLine(message);
    bytes.reserve(2 + line.size() * 2);

    CLockedLogFile file;
    if (!file.OpenAndLock(platform::Utf16ToUtf8(path))) return;
    // Size test, reset and append all happen under the one lock, so no writer
    // ever truncates a line another writer is in the middle of. A file that
    // cannot be emptied is appended to unchanged.
    bool fresh = file.Size() == 0;
    if (!fresh && file.NeedsReset()) fresh = file.Reset();
    if (fresh) {
      bytes.push_back(static_cast<char>(0xFF));
      bytes.push_back(static_cast<char>(0xFE));
    }
    AppendUtf16Le(bytes, line);
    file.WriteAll(bytes);
  } catch (...) {
  }
}
