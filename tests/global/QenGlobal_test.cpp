#include "global/QenGlobal.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "global/PathUtils.h"
#include "global/ProductSettings.h"
#include "global/QenGlobalDefault.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Utf.h"

namespace {

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Utf16LeBytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t ch : text) {
    bytes.push_back(static_cast<char>(ch & 0xFF));
    bytes.push_back(static_cast<char>(ch >> 8));
  }
  return bytes;
}

class QenGlobalTest : public ::testing::Test {
protected:
  void TearDown() override { platform::SetUserDefaultLCIDForTest(0); }
};

// Under ctest each test runs in a process of its own, so this is the first call.
TEST_F(QenGlobalTest, OneObjectEvenWhenFirstCallsRace) {
  std::vector<std::thread> threads;
  std::vector<IQenGlobal*> seen(8, nullptr);
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &QenGlobal(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (IQenGlobal* object : seen) EXPECT_EQ(object, &QenGlobal());
  EXPECT_EQ(QenGlobal().GetProductName(), u"QenNote");
}

TEST_F(QenGlobalTest, BuiltInSettingsNameTheProduct) {
  EXPECT_EQ(ReadProductName(), u"QenNote");
  EXPECT_EQ(ReadInnerProductName(), u"QenNote");
  EXPECT_EQ(ReadProductSetting(u"Company", true, false), u"");
  EXPECT_EQ(ReadProductSetting(u"UIExcludes", true, false), u"");
  // The user's locale decides on Linux, where no "LCID" value exists.
  platform::SetUserDefaultLCIDForTest(3076);
  EXPECT_EQ(GetUiLanguageId(), 1028u);
  platform::SetUserDefaultLCIDForTest(2052);
  EXPECT_EQ(GetUiLanguageId(), 2052u);
  EXPECT_EQ(ReadProductName(), u"QenNote");
}

// A per-user "LCID" value standing in for the registry.
struct FakeRegistry {
  bool present = false;
  uint32_t value = 0;
  std::vector<std::u16string> keysRead;
};

TEST_F(QenGlobalTest, LanguageIdChoosesTheLocalisedKey) {
  const std::u16string base =
      u"[Common]\nCompany=\nInnerProductName=QenNote\nProductName=QenNote\n";
  struct Row {
    const char* name;
    bool registryPresent;
    uint32_t registryValue;
    uint32_t userLcid;
    std::u16string extraLines;
    uint32_t expectedId;
    std::u16string expectedName;
  };
  const std::vector<Row> rows = {
      {"2052 tries the _2052 key, then falls back", true, 2052, 1033, u"", 2052, u"QenNote"},
      {"2052 finds the _2052 key", true, 2052, 1033, u"ProductName_2052=QenNote CN", 2052,
       u"QenNote CN"},
      {"3076 reads the _1028 key", true, 3076, 1033, u"ProductName_1028=QenNote TW", 1028,
       u"QenNote TW"},
      {"1033 stays", true, 1033, 2052, u"ProductName_1033=QenNote EN", 1033, u"QenNote EN"},
      {"a value of 0 counts as absent", true, 0, 2052, u"", 2052, u"QenNote"},
      {"no value: the user's default", false, 0, 4100, u"", 2052, u"QenNote"},
      {"5124 maps to 1028", false, 0, 5124, u"", 1028, u"QenNote"},
      {"ids not in the table pass unchanged", false, 0, 1031, u"", 1031, u"QenNote"},
      {"UIExcludes 1033,2052 excludes 2052", false, 0, 2052,
       u"UIExcludes=1033,2052\nProductName_0=Excluded", 0, u"Excluded"},
      {"UIExcludes item with a blank does not exclude", false, 0, 2052,
       u"UIExcludes=1033, 2052\nProductName_0=Excluded", 2052, u"QenNote"},
      {"UIExcludes items match whole", false, 0, 2052, u"UIExcludes=20520,205", 2052,
       u"QenNote"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform::SetUserDefaultLCIDForTest(row.userLcid);
    FakeRegistry registry{row.registryPresent, row.registryValue, {}};
    CQenProductSettings settings(base + row.extraLines,
                                 [&registry](const std::u16string& key, uint32_t& value) {
                                   registry.keysRead.push_back(key);
                                   if (registry.present) value = registry.value;
                                   return registry.present;
                                 });
    EXPECT_EQ(settings.ReadProductName(), row.expectedName);
    EXPECT_EQ(settings.GetLanguageSuffix(), u"_" + std::u16string(platform::Utf8ToUtf16(
                                                       std::to_string(row.expectedId))));
    EXPECT_EQ(settings.GetUiLanguageId(), row.expectedId);
    ASSERT_FALSE(registry.keysRead.empty());
    EXPECT_EQ(registry.keysRead.front(), u"Software\\QenNote");
  }
}

TEST_F(QenGlobalTest, FirstLocalisedReadFixesTheSuffix) {
  platform::SetUserDefaultLCIDForTest(2052);
  CQenProductSettings settings(
      u"[Common]\nInnerProductName=QenNote\nProductName=QenNote\nProductName_1028=TW");
  EXPECT_EQ(settings.GetLanguageSuffix(), u"");
  EXPECT_EQ(settings.ReadProductName(), u"QenNote");
  platform::SetUserDefaultLCIDForTest(1028);
  EXPECT_EQ(settings.GetUiLanguageId(), 1028u);  // computed afresh on every call
  EXPECT_EQ(settings.ReadProductName(), u"QenNote");
  EXPECT_EQ(settings.GetLanguageSuffix(), u"_2052");
}

TEST_F(QenGlobalTest, MissingSettings) {
  // Without an inner name the product name stands in; finding the language
  // for that localised read must not recurse without end.
  CQenProductSettings noInner(u"[Common]\nProductName=Solo\nProductName_1033=Solo EN");
  platform::SetUserDefaultLCIDForTest(1033);
  EXPECT_EQ(noInner.ReadInnerProductName(), u"Solo EN");
  EXPECT_EQ(noInner.ReadProductName(), u"Solo EN");
  EXPECT_EQ(noInner.GetUiLanguageId(), 1033u);

  // A required setting that is missing ends the process with -1.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CQenProductSettings broken(u"[Common]\nInnerProductName=QenNote");
        broken.ReadProductName();
      },
      ::testing::ExitedWithCode(255), "");
}

TEST_F(QenGlobalTest, ResourceFilePathPrefix) {
  struct Row {
    std::u16string path;
    bool expected;
  };
  const std::vector<Row> rows = {
      {u"%ResourceFilePath%/pages/104.html", true},
      {u"%ResourceFilePath%/", true},
      {u"%resourcefilepath%/pages/104.html", false},
      {u"%ResourceFilePath%", false},
      {u"/opt/%ResourceFilePath%/x", false},
      {u"", false},
  };
  CQenGlobalDefault global;
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.path));
    EXPECT_EQ(global.IsResourceFilePath(row.path), row.expected);
  }
}

TEST_F(QenGlobalTest, DataPathIsCreatedInTheTempFolder) {
  const std::u16string expected = GetTempFolder() + u"QenNote/";
  rmdir(U8(expected).c_str());  // only when empty; a leftover folder is fine
  CQenGlobalDefault global;
  EXPECT_EQ(global.GetDataPath(), expected);
  EXPECT_TRUE(platform::IsDirectory(expected));

  global.SetDataPath(nullptr, 7);
  EXPECT_EQ(global.GetDataPath(), expected);

  char pattern[] = "/tmp/qen_datapath_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::u16string custom = platform::Utf8ToUtf16(pattern) + u"/a/b/";
  global.SetDataPath(custom.c_str(), 0);
  EXPECT_EQ(global.GetDataPath(), custom);
  EXPECT_TRUE(platform::IsDirectory(custom));
  EXPECT_EQ(std::system((std::string("rm -rf ") + pattern).c_str()), 0);
}

TEST_F(QenGlobalTest, DebugSwitchAnywhereInTheCommandLine) {
  struct Row {
    std::u16string commandLine;
    bool expected;
  };
  const std::vector<Row> rows = {
      {u"QenBoxClient /Debug", true},    {u"QenBoxClient /debug", true},
      {u"QenBoxClient /DEBUGGER", true}, {u"/opt/q/QenBoxClient x/Debugy", true},
      {u"QenBoxClient", false},          {u"QenBoxClient Debug -Debug \\Debug", false},
      {u"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.commandLine));
    EXPECT_EQ(HasDebugSwitch(row.commandLine), row.expected);
  }
}

TEST_F(QenGlobalTest, WriteLogLandsNextToTheExecutable) {
  const std::string path = U8(GetExeFolder()) + "QenBoxClient.log";
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::u16string message =
      u"QenGlobal test line " + platform::Utf8ToUtf16(std::to_string(ticks));

  // Other test programs log into the same folder, so look for our lines
  // anywhere in the file.
  CQenGlobalDefault silent;
  silent.WriteLog(message + u" default", 0);
  // No "/Debug" on a test's command line: debug lines stay out.
  QenGlobal().WriteDebugLog(message + u" debug");
  QenGlobal().WriteLog(message, 0);
  const std::string log = ReadBytes(path);
  EXPECT_NE(log.find(Utf16LeBytes(u": " + message + u"\r\n")), std::string::npos);
  EXPECT_EQ(log.find(Utf16LeBytes(message + u" default")), std::string::npos)
      << "the default object does not log";
  EXPECT_EQ(log.find(Utf16LeBytes(message + u" debug")), std::string::npos);
}

TEST_F(QenGlobalTest, LoggingKeepsWorkingWhileTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(30);  // a crash report stuck in exit must not hang the test
        QenGlobal().WriteLog(u"before exit", 0);
        std::thread([] {
          for (;;) QenGlobal().WriteLog(u"late worker line", 0);
        }).detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
