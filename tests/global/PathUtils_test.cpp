#include "global/PathUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/Utf.h"
#include "tests/support/ScopedEnv.h"

namespace {

namespace fs = std::filesystem;

std::string Show(std::u16string_view text) { return platform::Utf16ToUtf8(text); }
std::u16string Wide(const std::string& text) { return platform::Utf8ToUtf16(text); }

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
  TempDir() {
    char name[] = "/tmp/qen_paths_XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

using tests::ScopedEnv;

TEST(PathParts, FolderNameAndExtension) {
  struct Case {
    std::u16string path, folder, name, ext;
  };
  const Case cases[] = {
      {u"/opt/q/x.exe", u"/opt/q/", u"x.exe", u".exe"},
      {u"x.exe", u"", u"x.exe", u".exe"},
      {u"/opt/q.d/x", u"/opt/q.d/", u"x", u""},
      {u"/opt/q/", u"/opt/q/", u"", u""},
      {u"/x", u"/", u"x", u""},
      {u"/a/b.tar.gz", u"/a/", u"b.tar.gz", u".gz"},
      {u"/a/.hidden", u"/a/", u".hidden", u".hidden"},
      {u"dir/x.", u"dir/", u"x.", u"."},
      {u"/a/\u65E5\u672C.log", u"/a/", u"\u65E5\u672C.log", u".log"},
      {u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.path));
    EXPECT_EQ(Show(GetFileFolder(c.path)), Show(c.folder));
    EXPECT_EQ(Show(GetFileNameWithExt(c.path)), Show(c.name));
    EXPECT_EQ(Show(GetFileExt(c.path)), Show(c.ext));
  }
}

TEST(PathParts, LongPathIsCanonicalOrUnchanged) {
  EXPECT_EQ(GetLongPath(u"/tmp/../tmp/."), u"/tmp");
  EXPECT_EQ(GetLongPath(u"/no/such/place/x.log"), u"/no/such/place/x.log");
  EXPECT_EQ(GetLongPath(u""), u"");
}

TEST(ExePath, NamesThisTestProgram) {
  const std::u16string exe = GetExePath();
  const std::u16string folder = GetExeFolder();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe[0], u'/');
  EXPECT_EQ(folder.back(), u'/');
  EXPECT_EQ(Show(exe), Show(folder + u"global_PathUtils_test"));
}

TEST(TempFolder, AlwaysEndsInSlash) {
  const std::pair<std::optional<std::string>, std::u16string> cases[] = {
      {std::nullopt, u"/tmp/"}, {"", u"/tmp/"}, {"/var/tmp", u"/var/tmp/"}, {"/var/tmp/", u"/var/tmp/"}};
  for (const auto& [tmpdir, expected] : cases) {
    SCOPED_TRACE(tmpdir.value_or("(unset)"));
    ScopedEnv env("TMPDIR", tmpdir);
    EXPECT_EQ(Show(GetTempFolder()), Show(expected));
  }
}

TEST(QueryFileSize, SizeOfFilesOnly) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  WriteBytes(dir.path() + "/five", "12345");
  WriteBytes(dir.path() + "/empty", "");
  EXPECT_EQ(QueryFileSize(Wide(dir.path() + "/five")), 5u);
  EXPECT_EQ(QueryFileSize(Wide(dir.path() + "/empty")), 0u);
  EXPECT_EQ(QueryFileSize(Wide(dir.path() + "/missing")), 0u);
  EXPECT_EQ(QueryFileSize(Wide(dir.path())), 0u);
}

TEST(DetectFileBom, ByteOrderMarks) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  struct Case {
    const char* name;
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      {"UTF-16LE mark only, 2 bytes", "\xFF\xFE", 1},
      {"UTF-16LE, 4 bytes", std::string("\xFF\xFE\x41\x00", 4), 3},
      {"UTF-8 mark only, 3 bytes", "\xEF\xBB\xBF", 1},
      {"UTF-8, 4 bytes", "\xEF\xBB\xBF\x41", 2},
      {"UTF-16BE", std::string("\xFE\xFF\x00\x41", 4), 1},
      {"no mark", "ABCD", 1},
      {"empty", "", 1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path() + "/f" + std::to_string(index++);
    WriteBytes(path, c.bytes);
    EXPECT_EQ(DetectFileBom(Wide(path)), c.expected);
  }
  EXPECT_EQ(DetectFileBom(Wide(dir.path() + "/missing")), 1);
}

TEST(CreateFolders, CreatesEveryMissingLevel) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string base = dir.path();

  EXPECT_TRUE(CreateFolders(Wide(base + "/a/b/c/")));
  for (const char* level : {"/a", "/a/b", "/a/b/c"}) {
    SCOPED_TRACE(level);
    EXPECT_TRUE(fs::is_directory(base + level));
  }
  // Existing levels are fine; only the missing one is made.
  EXPECT_TRUE(CreateFolders(Wide(base + "/a/b/d")));
  EXPECT_TRUE(fs::is_directory(base + "/a/b/d"));
  EXPECT_TRUE(CreateFolders(Wide(base + "/a/b/c/")));

  // A file in the way stops the chain; folders made before stay.
  WriteBytes(base + "/file", "x");
  EXPECT_FALSE(CreateFolders(Wide(base + "/file/sub/")));
  EXPECT_FALSE(fs::exists(base + "/file/sub"));
  EXPECT_FALSE(CreateFolders(u""));
}

TEST(CreateFolders, RelativePath) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_TRUE(CreateFolders(u"rel/x/y"));
  fs::current_path(before);
  EXPECT_TRUE(fs::is_directory(dir.path() + "/rel/x/y"));
}

}  // namespace
