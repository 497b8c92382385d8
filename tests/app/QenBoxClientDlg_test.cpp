#include "app/QenBoxClientDlg.h"

#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "global/PathUtils.h"
#include "global/Translations.h"
#include "platform/Locale.h"
#include "tests/app/FakeDialogHost.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

namespace {

const std::u16string kLocationFolder = u"res:///opt/qenbox/QenBoxClient/";

// Runs every action waiting in the window queue.
void DrainWindowQueue() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

std::vector<std::string> Filter(const std::vector<std::string>& calls, bool (*keep)(const std::string&)) {
  std::vector<std::string> result;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(result), keep);
  return result;
}

bool IsWorkerCall(const std::string& call) {
  return call.rfind("Find", 0) == 0 || call.rfind("Sleep", 0) == 0 || call.rfind("ConfigIP", 0) == 0;
}

// The program's log, as text, to see what ShowMessage wrote.
std::u16string ReadLog() {
  std::ifstream file(U8(GetExeFolder() + u"QenBoxClient.log"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return text;
}

class QenBoxClientDlgTest : public ::testing::Test {
protected:
  QenBoxClientDlgTest() : m_view(m_calls), m_host(m_calls, m_view) {
    platform::SetUserDefaultLCIDForTest(1033);
  }
  ~QenBoxClientDlgTest() override {
    Reset();
    platform::SetUserDefaultLCIDForTest(0);
  }

  // A dialog whose find, set-ip and sleep record into m_calls; a given seam
  // replaces the recording one.
  CQenBoxClientDlg& MakeDialog(CQenBoxClientDlg::Seams seams = {}) {
    Reset();
    if (!seams.findBox) {
      seams.findBox = [this](int32_t n) {
        m_calls.Add("Find " + std::to_string(n));
        return m_box;
      };
    }
    if (!seams.configIP) {
      seams.configIP = [this](const CONFIG_IP_DATA& data, int32_t& nReturnCode, std::u16string& strMessage) {
        m_calls.Add("ConfigIP " + U8(data.strBoxIP) + "|" + U8(data.strUserName) + "|" +
                    U8(data.strPassword) + "|" + U8(data.strIP) + "|" + U8(data.strSubnetMask) + "|" +
                    U8(data.strGateway));
        nReturnCode = m_nCoreCode;
        strMessage = m_strCoreMessage;
        return m_bCoreOk;
      };
    }
    if (!seams.sleep)
      seams.sleep = [this](std::chrono::milliseconds ms) {
        m_calls.Add("Sleep " + std::to_string(ms.count()));
      };
    m_pDialog = std::make_unique<CQenBoxClientDlg>(m_host, std::move(seams));
    return *m_pDialog;
  }

  // Lets the workers finish and runs what they posted to the window queue.
  void Settle() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (m_pDialog->HasWorkerActions() && std::chrono::steady_clock::now() < deadline) {
      DrainWindowQueue();
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(m_pDialog->HasWorkerActions()) << "a worker is still busy";
    DrainWindowQueue();
  }

  void Reset() {
    if (!m_pDialog)
      return;
    Settle();
    // A worker still inside the dialog must not find it freed.
    if (m_pDialog->HasWorkerActions())
      (void)m_pDialog.release();
    m_pDialog.reset();
  }

  void Complete(int page) {
    m_pDialog->OnDocumentComplete(kLocationFolder + platform::Utf8ToUtf16(std::to_string(page)));
  }

  Recorder m_calls;
  FakeView m_view;
  FakeHost m_host;
  std::unique_ptr<CQenBoxClientDlg> m_pDialog;
  // What the fake find and set-ip report; set before the action is posted.
  QENBOXCLIENTDATA m_box;
  bool m_bCoreOk = false;
  int32_t m_nCoreCode = 0;
  std::u16string m_strCoreMessage;
};

TEST_F(QenBoxClientDlgTest, InitDialogSetsUpTheWindowThenSearches) {
  const struct {
    const char* name;
    bool bEmptyAboutText;
    std::vector<std::string> expected;
  } kCases[] = {
      {"about entry from string 101",
       false,
       {"LoadPage 104", "Menu 16 &About QenBox Client...", "Icons", "Title QenBox Client", "Find 0"}},
      {"empty string 101 adds no entry", true, {"LoadPage 104", "Icons", "Title QenBox Client", "Find 0"}},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.name);
    CQenBoxClientDlg::Seams seams;
    if (row.bEmptyAboutText)
      seams.loadStringResource = [](uint32_t id) {
        return id == 101 ? std::u16string() : LoadStringResource(id);
      };
    MakeDialog(std::move(seams)).OnInitDialog();
    Settle();
    EXPECT_THAT(m_calls.Take(), ElementsAreArray(row.expected));
  }
}

TEST_F(QenBoxClientDlgTest, SysCommandShowsTheAboutBoxOnlyForItsEntry) {
  const struct {
    unsigned int id;
    bool bAbout;
  } kCases[] = {
      {IDM_ABOUTBOX, true}, {IDM_ABOUTBOX | 0x000F, true},  // the low four bits are the platform's
      {0x0020, false},      {0xF060, false},                // close
      {0xF020, false},                                      // minimise
  };
  CQenBoxClientDlg& dialog = MakeDialog();
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.id);
    dialog.OnSysCommand(row.id);
    if (row.bAbout)
      EXPECT_THAT(m_calls.Take(), ElementsAre("About"));
    else
      EXPECT_THAT(m_calls.Take(), IsEmpty());
  }
}

TEST_F(QenBoxClientDlgTest, FoundBoxShowsRunningPageOnlyForStaticInAnyCase) {
  const struct {
    const char16_t* ip;
    const char16_t* type;
    std::vector<std::string> expected;
    const char16_t* storedType;
  } kCases[] = {
      {u"192.0.2.20", u"static", {"Find 0", "LoadPage 130"}, u"static"},
      {u"192.0.2.21", u"STATIC", {"Find 0", "LoadPage 130"}, u"static"},
      {u"192.0.2.22", u"Static", {"Find 0", "LoadPage 130"}, u"static"},
      {u"192.0.2.23", u"dhcp", {"Find 0", "LoadPage 131"}, u"dhcp"},
      {u"192.0.2.24", u"static ", {"Find 0", "LoadPage 131"}, u"static "},
      // Half a result counts as none: nothing is posted and nothing kept.
      {u"", u"static", {"Find 0"}, nullptr},
      {u"192.0.2.25", u"", {"Find 0"}, nullptr},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(U8(row.ip) + " " + U8(row.type));
    CQenBoxClientDlg& dialog = MakeDialog();
    m_box = {row.ip, row.type};
    dialog.ExecuteFindBox(0);
    Settle();
    EXPECT_THAT(m_calls.Take(), ElementsAreArray(row.expected));
    if (row.storedType != nullptr) {
      EXPECT_EQ(dialog.m_strBoxIP, row.ip);
      EXPECT_EQ(dialog.m_strBoxIPType, row.storedType);
    } else {
      EXPECT_THAT(dialog.m_strBoxIP, IsEmpty());
    }
  }
}

TEST_F(QenBoxClientDlgTest, DocumentCompleteSetsEachPagesTextsInOrder) {
  const struct {
    std::u16string location;
    std::vector<std::string> expected;
  } kCases[] = {
      {kLocationFolder + u"104",
       {"Text MainTitle=Welcome to QenNote", "Text SubTitle=Finding QenBox...",
        "Text HintLabel=Please ensure you QenBox is opened and has connected to your router."}},
      {kLocationFolder + u"130",
       {"Text MainTitle=Welcome to QenNote", "Text SubTitle=Your QenBox (192.0.2.20) is running normally.",
        "Text ReconfigButton=Re-config QenBox", "Value ButtonDownload=Download Client",
        "Value ButtonWeb=QenNote Web App", "Value ButtonHelp=QenBox Manual",
        "Value ButtonConsole=Manage Consol"}},
      {kLocationFolder + u"131",
       {"Text MainTitle=Welcome to QenNote",
        "Text SubTitle=QenBox was found at 192.0.2.20. Please reset the IP address of your QenBox.",
        "Text HintLabel=The QenBox must be assigned a static IP address. Please enter a static IP address "
        "and press the OK button.",
        "Text UserIdLabel=User Name:", "Text PasswordLabel=Password:", "Text IPAddressLabel=IP Address:",
        "Text SubnetMaskLabel=Subnet mask", "Text GatewayLabel=Gateway (Allow empty)",
        "Text ButtonChangeIP=OK", "Text IPAddress=192.0.2.", "Text SubnetMask=255.255.255.0"}},
      {kLocationFolder + u"132",
       {"Text MainTitle=Welcome to QenNote",
        "Text SubTitle=Configing QenBox IP Address, Please wait a while..."}},
      {kLocationFolder + u"999", {"Text MainTitle=Welcome to QenNote"}},
      {kLocationFolder, {"Text MainTitle=Welcome to QenNote"}},
      {u"131", {}},
  };
  CQenBoxClientDlg& dialog = MakeDialog();
  dialog.m_strBoxIP = u"192.0.2.20";
  for (const auto& row : kCases) {
    SCOPED_TRACE(U8(row.location));
    dialog.OnDocumentComplete(row.location);
    EXPECT_THAT(m_calls.Take(), ElementsAreArray(row.expected));
  }
}

TEST_F(QenBoxClientDlgTest, RunningPageInChineseKeepsTheBlanksAroundTheAddress) {
  platform::SetUserDefaultLCIDForTest(2052);
  CQenBoxClientDlg& dialog = MakeDialog();
  dialog.m_strBoxIP = u"10.0.0.5";
  Complete(130);
  EXPECT_THAT(m_calls.Take(),
              ElementsAre("Text MainTitle=欢迎使用Qen笔记", "Text SubTitle=您的Qen盒子 (10.0.0.5) 运行正常。",
                          "Text ReconfigButton=重新配置Qen盒子", "Value ButtonDownload=下载客户端",
                          "Value ButtonWeb=网页版", "Value ButtonHelp=Qen盒子手册",
                          "Value ButtonConsole=管理控制台"));
}

TEST_F(QenBoxClientDlgTest, FormDefaultsToTheAddressUpToItsLastDot) {
  const struct {
    const char16_t* boxIP;
    const char* prefix;
  } kCases[] = {
      {u"192.168.1.37", "192.168.1."},
      {u"10.0.0.5", "10.0.0."},
      {u"qenbox", "qenbox"},
      {u"", ""},
  };
  CQenBoxClientDlg& dialog = MakeDialog();
  for (const auto& row : kCases) {
    SCOPED_TRACE(U8(row.boxIP));
    dialog.m_strBoxIP = row.boxIP;
    Complete(131);
    const std::vector<std::string> calls = m_calls.Take();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(calls.end() - 2, calls.end()),
                ElementsAre("Text IPAddress=" + std::string(row.prefix), "Text SubnetMask=255.255.255.0"));
  }
}

TEST_F(QenBoxClientDlgTest, ChangeIpChecksTheFormInOrder) {
  const std::vector<std::string> kReads = {"Get UserId", "Get Password", "Get IPAddress", "Get SubnetMask",
                                           "Get Gateway"};
  const struct {
    const char* name;
    std::u16string user, password, ip, mask, gateway;
    const char* message;  // null: the form is sent
    const char* focus;
  } kCases[] = {
      {"empty user name wins over a bad address", u"", u"pw", u"1.2.3", u"255.255.255.0", u"",
       "Please enter user name.", "UserId"},
      {"empty password", u"admin", u"", u"192.168.1.5", u"255.255.255.0", u"", "Please enter password.",
       "Password"},
      {"empty address", u"admin", u"pw", u"", u"255.255.255.0", u"", "Please enter IP address.", "IPAddress"},
      {"blank-only address", u"admin", u"pw", u"   ", u"255.255.255.0", u"",
       "Please enter a valid IP address.", "IPAddress"},
      {"leading zero", u"admin", u"pw", u"192.168.001.5", u"255.255.255.0", u"",
       "Please enter a valid IP address.", "IPAddress"},
      {"two leading dots", u"admin", u"pw", u"..192.168.1.5", u"255.255.255.0", u"",
       "Please enter a valid IP address.", "IPAddress"},
      {"empty mask", u"admin", u"pw", u"192.168.1.5", u"", u"", "Please enter subnet mask.", "SubnetMask"},
      {"short mask", u"admin", u"pw", u"192.168.1.5", u"255.255.255", u"",
       "Please enter a valid subnet mask.", "SubnetMask"},
      {"gateway abc", u"admin", u"pw", u"192.168.1.5", u"255.255.255.0", u"abc",
       "Please enter a valid gateway.", "Gateway"},
      {"blank gateway is not empty", u"admin", u"pw", u"192.168.1.5", u"255.255.255.0", u" ",
       "Please enter a valid gateway.", "Gateway"},
      {"all given", u"admin", u"secret", u"192.168.1.50", u"255.255.255.0", u"192.168.1.1", nullptr, nullptr},
      {"blank user name and password", u" ", u"  ", u"192.168.1.50", u"255.255.255.0", u"", nullptr, nullptr},
      {"blanks around the address are sent", u"admin", u"pw", u" 192.168.1.5 ", u"255.255.255.0", u"",
       nullptr, nullptr},
      {"trailing dot", u"admin", u"pw", u"192.168.1.5.", u"255.255.255.0", u"", nullptr, nullptr},
      {"leading dot", u"admin", u"pw", u".192.168.1.5", u"255.255.255.0", u"", nullptr, nullptr},
      {"mask need not be contiguous", u"admin", u"pw", u"0.0.0.0", u"255.0.255.0", u"255.255.255.255",
       nullptr, nullptr},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.name);
    CQenBoxClientDlg& dialog = MakeDialog();
    dialog.m_strBoxIP = u"192.0.2.20";
    m_view.values = {{u"UserId", row.user},
                     {u"Password", row.password},
                     {u"IPAddress", row.ip},
                     {u"SubnetMask", row.mask},
                     {u"Gateway", row.gateway}};
    // The applying page is asked for before the exchange is queued.
    m_view.onLoadPage = [&dialog](int page) {
      if (page == 132) {
        EXPECT_FALSE(dialog.HasWorkerActions()) << "set-ip posted before page 132";
      }
    };
    dialog.OnElementClick(u"ButtonChangeIP");
    Settle();
    m_view.onLoadPage = nullptr;

    std::vector<std::string> expected = kReads;
    if (row.message != nullptr) {
      expected.push_back(std::string("Message ") + row.message);
      expected.push_back(std::string("Focus ") + row.focus);
      EXPECT_THAT(m_calls.Take(), ElementsAreArray(expected));
      continue;
    }
    expected.push_back("LoadPage 132");
    expected.push_back("ConfigIP 192.0.2.20|" + U8(row.user) + "|" + U8(row.password) + "|" + U8(row.ip) +
                       "|" + U8(row.mask) + "|" + U8(row.gateway));
    // What follows the exchange comes from two threads; its order is tested below.
    std::vector<std::string> calls = m_calls.Take();
    ASSERT_GE(calls.size(), expected.size());
    calls.resize(expected.size());
    EXPECT_THAT(calls, ElementsAreArray(expected));
  }
}

TEST_F(QenBoxClientDlgTest, ConfigIpShowsTheSearchingPageSearchesAgainAndShowsTheOutcome) {
  const std::string kConfigCall = "ConfigIP 192.0.2.20|admin|pw|192.0.2.30|255.255.255.0|";
  const struct {
    const char* name;
    bool bOk;
    int32_t nCode;
    std::u16string coreMessage;
    const char* shown;
    std::vector<std::string> worker;
  } kCases[] = {
      {"accepted",
       true,
       200,
       u"OK",
       "IP address has been reseted, please wait for re-finding QenBox.",
       {kConfigCall, "Sleep 3000", "Sleep 30000", "Find 0"}},
      {"wrong user name or password",
       false,
       301,
       u"auth failed",
       "Invalid user name or password.",
       {kConfigCall, "Find 0"}},
      {"wrong user name", false, 3801, u"no such user", "Invalid user name.", {kConfigCall, "Find 0"}},
      {"wrong password", false, 3802, u"bad password", "Invalid password.", {kConfigCall, "Find 0"}},
      {"other refusal", false, 500, u"Disk <full> & busy", "Disk <full> & busy", {kConfigCall, "Find 0"}},
      {"box unreachable",
       false,
       0,
       u"Can't connect to: 192.0.2.20",
       "Can't connect to: 192.0.2.20",
       {kConfigCall, "Find 0"}},
  };
  for (const auto& row : kCases) {
    SCOPED_TRACE(row.name);
    CQenBoxClientDlg& dialog = MakeDialog();
    m_bCoreOk = row.bOk;
    m_nCoreCode = row.nCode;
    m_strCoreMessage = row.coreMessage;
    bool bLoggedFirst = false;
    const size_t nLogBefore = ReadLog().size();
    m_host.onMessageBox = [&bLoggedFirst, nLogBefore](const std::u16string& text) {
      bLoggedFirst = ReadLog().find(text, nLogBefore) != std::u16string::npos;
    };
    dialog.ExecuteConfigIP({u"192.0.2.20", u"admin", u"pw", u"192.0.2.30", u"255.255.255.0", u""});
    Settle();
    m_host.onMessageBox = nullptr;

    std::vector<std::string> calls = m_calls.Take();
    EXPECT_THAT(Filter(calls, IsWorkerCall), ElementsAreArray(row.worker));
    // The restart subtitles are checked on their own below.
    EXPECT_THAT(
        Filter(calls,
               [](const std::string& call) { return !IsWorkerCall(call) && call.rfind("Text", 0) != 0; }),
        ElementsAre("LoadPage 104", std::string("Message ") + row.shown));
    EXPECT_TRUE(bLoggedFirst) << "the message is logged before it is shown";
  }
}

TEST_F(QenBoxClientDlgTest, RestartWaitShowsItsSubtitlesBeforeSearching) {
  // Each seam first runs what is already posted, so the log shows when each
  // text was posted relative to the waits.
  CQenBoxClientDlg::Seams seams;
  seams.sleep = [this](std::chrono::milliseconds ms) {
    DrainWindowQueue();
    m_calls.Add("Sleep " + std::to_string(ms.count()));
  };
  seams.findBox = [this](int32_t n) {
    DrainWindowQueue();
    m_calls.Add("Find " + std::to_string(n));
    return QENBOXCLIENTDATA{u"192.0.2.30", u"static"};
  };
  CQenBoxClientDlg& dialog = MakeDialog(std::move(seams));
  dialog.ExecuteFindBox(30);
  Settle();
  EXPECT_THAT(m_calls.Take(),
              ElementsAre("Sleep 3000",
                          "Text SubTitle=QenBox is restarting (It may take 1-2 minutes), please wait...",
                          "Sleep 30000", "Text SubTitle=Re-finding QenBox...", "Find 0", "LoadPage 130"));
  EXPECT_EQ(dialog.m_strBoxIP, u"192.0.2.30");
}

TEST_F(QenBoxClientDlgTest, RunningPageClicksReconfigureOrOpenTheBoxPages) {
  const struct {
    const char16_t* id;
    std::vector<std::string> expected;
  } kCases[] = {
      {u"ReconfigButton", {"LoadPage 131"}},
      {u"ButtonWeb", {"Open http://192.0.2.20/web/"}},
      {u"ButtonConsole", {"Open http://192.0.2.20/manage_console"}},
      {u"ButtonDownload", {"Open " + U8(kClientDownloadUrl)}},
      {u"ButtonHelp", {"Open " + U8(kBoxManualUrl)}},
      {u"buttonweb", {}},
      {u"MainTitle", {}},
  };
  CQenBoxClientDlg& dialog = MakeDialog();
  dialog.OnBoxFound(u"192.0.2.20", u"STATIC");
  EXPECT_THAT(m_calls.Take(), ElementsAre("LoadPage 130"));
  for (const auto& row : kCases) {
    SCOPED_TRACE(U8(row.id));
    dialog.OnElementClick(row.id);
    EXPECT_THAT(m_calls.Take(), ElementsAreArray(row.expected));
  }
}

}  // namespace
