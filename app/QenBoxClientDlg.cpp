#include "app/QenBoxClientDlg.h"

#include <iterator>
#include <thread>
#include <utility>

#include "app/IpAddressCheck.h"
#include "global/QenGlobal.h"
#include "global/TextUtils.h"
#include "global/Translations.h"
#include "queue/QueuedAction.h"
#include "queue/QueuedThread.h"

namespace {

constexpr int32_t kPageSearching = 104;
constexpr int32_t kPageRunning = 130;
constexpr int32_t kPageForm = 131;
constexpr int32_t kPageApplying = 132;

// Seconds the discovery worker waits for the box to restart after it took a
// new address.
constexpr int32_t kRestartWaitSeconds = 30;
constexpr std::chrono::milliseconds kRestartNoticeDelay{3000};

// An action for a worker queue. It counts itself in the dialog from its
// creation until it is destroyed (after running, or unrun when the queue
// refuses it), so the dialog knows when no worker can reach it any more.
template <typename A1>
class CWorkerAction : public CQenQueuedAction1<CQenBoxClientDlg, A1> {
public:
  using Base = CQenQueuedAction1<CQenBoxClientDlg, A1>;
  CWorkerAction(typename Base::Method pfnMethod, CQenBoxClientDlg* pTarget, const A1& arg1,
                std::atomic<int>& nCount)
      : Base(pfnMethod, pTarget, arg1), m_nCount(nCount) {
    m_nCount.fetch_add(1, std::memory_order_relaxed);
  }
  ~CWorkerAction() override { m_nCount.fetch_sub(1, std::memory_order_release); }

private:
  std::atomic<int>& m_nCount;
};

CQenBoxClientDlg::Seams WithDefaults(CQenBoxClientDlg::Seams seams) {
  if (!seams.findBox)
    seams.findBox = [](int32_t n) { return FindQenBoxClient(n); };
  if (!seams.configIP) {
    seams.configIP = [](const CONFIG_IP_DATA& data, int32_t& nReturnCode, std::u16string& strMessage) {
      return ExecuteConfigIPCore(data, nReturnCode, strMessage);
    };
  }
  if (!seams.sleep)
    seams.sleep = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
  if (!seams.loadStringResource)
    seams.loadStringResource = [](uint32_t id) { return LoadStringResource(id); };
  return seams;
}

void PostToWindow(IQenQueuedAction* pAction) { QueueAction(kWindowQueue, pAction); }

// The part of the box's address up to and including its last dot, so the
// user only types the last number.
std::u16string AddressPrefix(const std::u16string& strAddress) {
  const size_t nDot = strAddress.rfind(u'.');
  return nDot == std::u16string::npos ? strAddress : strAddress.substr(0, nDot + 1);
}

}  // namespace

CQenBoxClientDlg::CQenBoxClientDlg(platform::IDialogHost& host, Seams seams)
    : m_host(host), m_seams(WithDefaults(std::move(seams))) {
  GetQueuedThread(kWindowQueue);
}

CQenBoxClientDlg::~CQenBoxClientDlg() = default;

void CQenBoxClientDlg::OnInitDialog() {
  m_host.View().LoadPage(kPageSearching);

  const std::u16string strAboutMenu = m_seams.loadStringResource(101);
  if (!strAboutMenu.empty())
    m_host.AppendSystemMenuItem(IDM_ABOUTBOX, strAboutMenu);
  m_host.SetIcons();
  m_host.SetTitle(LoadText(163));

  PostFindBox(0);
}

void CQenBoxClientDlg::OnSysCommand(unsigned int id) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX)
    m_host.ShowAboutBox();
}

void CQenBoxClientDlg::OnDocumentComplete(const std::u16string& location) {
  const size_t nSlash = location.rfind(u'/');
  if (nSlash == std::u16string::npos)
    return;
  const int32_t nPage = WideTextToInt(std::u16string_view(location).substr(nSlash + 1));

  UpdateElementText(u"MainTitle", LoadText(112));
  switch (nPage) {
    case kPageSearching:
      UpdateElementText(u"SubTitle", LoadText(161));
      UpdateElementText(u"HintLabel", LoadText(162));
      break;
    case kPageRunning:
      UpdateElementText(u"SubTitle", LoadTextFormat(113, m_strBoxIP));
      UpdateElementText(u"ReconfigButton", LoadText(114));
      SetInputValue(u"ButtonDownload", LoadText(115));
      SetInputValue(u"ButtonWeb", LoadText(117));
      SetInputValue(u"ButtonHelp", LoadText(121));
      SetInputValue(u"ButtonConsole", LoadText(122));
      break;
    case kPageForm:
      UpdateElementText(u"SubTitle", LoadTextFormat(102, m_strBoxIP));
      UpdateElementText(u"HintLabel", LoadText(123));
      UpdateElementText(u"UserIdLabel", LoadText(124));
      UpdateElementText(u"PasswordLabel", LoadText(125));
      UpdateElementText(u"IPAddressLabel", LoadText(126));
      UpdateElementText(u"SubnetMaskLabel", LoadText(169));
      UpdateElementText(u"GatewayLabel", LoadText(170));
      UpdateElementText(u"ButtonChangeIP", LoadText(127));
      UpdateElementText(u"IPAddress", AddressPrefix(m_strBoxIP));
      UpdateElementText(u"SubnetMask", u"255.255.255.0");
      break;
    case kPageApplying:
      UpdateElementText(u"SubTitle", LoadText(160));
      break;
    default:
      break;
  }
}

void CQenBoxClientDlg::OnElementClick(const std::u16string& id) {
  static const struct {
    const char16_t* id;
    int (CQenBoxClientDlg::*pfnHandler)();
  } kClickBindings[] = {
      {u"ButtonChangeIP", &CQenBoxClientDlg::OnButtonChangeIP},
      {u"ReconfigButton", &CQenBoxClientDlg::OnReconfigButton},
      {u"ButtonDownload", &CQenBoxClientDlg::OnButtonDownload},
      {u"ButtonWeb", &CQenBoxClientDlg::OnButtonWeb},
      {u"ButtonHelp", &CQenBoxClientDlg::OnButtonHelp},
      {u"ButtonConsole", &CQenBoxClientDlg::OnButtonConsole},
  };
  for (const auto& binding : kClickBindings) {
    if (id == binding.id) {
      (this->*binding.pfnHandler)();
      return;
    }
  }
}

std::u16string CQenBoxClientDlg::GetInputValue(const std::u16string& id) {
  return m_host.View().GetElementValue(id);
}

void CQenBoxClientDlg::SetInputValue(const std::u16string& id, const std::u16string& text) {
  m_host.View().SetInputValue(id, text);
}

// Runs on the discovery worker: it reads only the seams and posts its results.
void CQenBoxClientDlg::ExecuteFindBox(int32_t nSeconds) {
  if (nSeconds > 0) {
    m_seams.sleep(kRestartNoticeDelay);
    PostToWindow(new CQenQueuedAction2<CQenBoxClientDlg, std::u16string, std::u16string>(
        &CQenBoxClientDlg::UpdateElementText, this, u"SubTitle", LoadText(109)));
    m_seams.sleep(std::chrono::seconds(nSeconds));
    PostToWindow(new CQenQueuedAction2<CQenBoxClientDlg, std::u16string, std::u16string>(
        &CQenBoxClientDlg::UpdateElementText, this, u"SubTitle", LoadText(110)));
  }

  const QENBOXCLIENTDATA box = m_seams.findBox(0);
  if (!box.strIPAddress.empty() && !box.strIPType.empty()) {
    PostToWindow(new CQenQueuedAction2<CQenBoxClientDlg, std::u16string, std::u16string>(
        &CQenBoxClientDlg::OnBoxFound, this, box.strIPAddress, box.strIPType));
  }
}

// Runs on the set-ip worker. The searching page is posted before the new
// search, so that search's result always lands on top of it.
void CQenBoxClientDlg::ExecuteConfigIP(CONFIG_IP_DATA data) {
  int32_t nReturnCode = 0;
  std::u16string strMessage;
  const bool bOk = m_seams.configIP(data, nReturnCode, strMessage);

  PostToWindow(
      new CQenQueuedAction1<CQenBoxClientDlg, int32_t>(&CQenBoxClientDlg::ShowPage, this, kPageSearching));
  PostFindBox(bOk ? kRestartWaitSeconds : 0);

  if (bOk) {
    strMessage = LoadText(108);
  } else if (nReturnCode == 301) {
    strMessage = LoadText(107);
  } else if (nReturnCode == 3801) {
    strMessage = LoadText(164);
  } else if (nReturnCode == 3802) {
    strMessage = LoadText(165);
  }
  PostToWindow(new CQenQueuedAction2<CQenBoxClientDlg, std::u16string, int32_t>(
      &CQenBoxClientDlg::ShowMessage, this, strMessage, bOk ? 0 : 1));
}

void CQenBoxClientDlg::OnBoxFound(std::u16string strIPAddress, std::u16string strIPType) {
  m_strBoxIP = std::move(strIPAddress);
  m_strBoxIPType = ToLowerText(strIPType);
  ShowPage(m_strBoxIPType == u"static" ? kPageRunning : kPageForm);
}

void CQenBoxClientDlg::UpdateElementText(std::u16string strId, std::u16string strText) {
  m_host.View().SetElementText(strId, strText);
}

void CQenBoxClientDlg::ShowPage(int32_t nPage) { m_host.View().LoadPage(nPage); }

void CQenBoxClientDlg::ShowMessage(std::u16string strText, int32_t /*nFailed*/) {
  QenGlobal().WriteLog(strText, 0);
  m_host.ShowMessageBox(strText);
}

bool CQenBoxClientDlg::HasWorkerActions() const {
  return m_nWorkerActions.load(std::memory_order_acquire) != 0;
}

int CQenBoxClientDlg::OnButtonChangeIP() {
  // Used exactly as typed: nothing is trimmed before it is sent.
  const std::u16string strUserName = GetInputValue(u"UserId");
  const std::u16string strPassword = GetInputValue(u"Password");
  const std::u16string strIP = GetInputValue(u"IPAddress");
  const std::u16string strSubnetMask = GetInputValue(u"SubnetMask");
  const std::u16string strGateway = GetInputValue(u"Gateway");

  const struct {
    bool bFailed;
    uint32_t nMessageId;
    const char16_t* focusId;
  } kChecks[] = {
      {strUserName.empty(), 103, u"UserId"},
      {strPassword.empty(), 104, u"Password"},
      {strIP.empty(), 105, u"IPAddress"},
      {!IsValidIPAddress(strIP), 106, u"IPAddress"},
      {strSubnetMask.empty(), 166, u"SubnetMask"},
      {!IsValidIPAddress(strSubnetMask), 167, u"SubnetMask"},
      {!strGateway.empty() && !IsValidIPAddress(strGateway), 168, u"Gateway"},
  };
  for (const auto& check : kChecks) {
    if (check.bFailed) {
      m_host.ShowMessageBox(m_seams.loadStringResource(check.nMessageId));
      m_host.View().FocusElement(check.focusId);
      return 0;
    }
  }

  ShowPage(kPageApplying);
  const CONFIG_IP_DATA data{m_strBoxIP, strUserName, strPassword, strIP, strSubnetMask, strGateway};
  QueueAction(kSetIpQueue, new CWorkerAction<CONFIG_IP_DATA>(&CQenBoxClientDlg::ExecuteConfigIP, this, data,
                                                             m_nWorkerActions));
  return 0;
}

int CQenBoxClientDlg::OnReconfigButton() {
  ShowPage(kPageForm);
  return 0;
}

int CQenBoxClientDlg::OnButtonDownload() {
  m_host.OpenUrl(kClientDownloadUrl);
  return 0;
}

int CQenBoxClientDlg::OnButtonWeb() {
  m_host.OpenUrl(FormatText(u"http://%1/web/", m_strBoxIP));
  return 0;
}

int CQenBoxClientDlg::OnButtonHelp() {
  m_host.OpenUrl(kBoxManualUrl);
  return 0;
}

int CQenBoxClientDlg::OnButtonConsole() {
  m_host.OpenUrl(FormatText(u"http://%1/manage_console", m_strBoxIP));
  return 0;
}

void CQenBoxClientDlg::PostFindBox(int32_t nSeconds) {
  QueueAction(kDiscoveryQueue, new CWorkerAction<int32_t>(&CQenBoxClientDlg::ExecuteFindBox, this, nSeconds,
                                                          m_nWorkerActions));
}
