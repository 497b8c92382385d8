// The main window's controller: it picks the page from the search result,
// fills each page's texts, reads and checks the IP form and hands the slow
// work (search, set-ip exchange, restart wait) to the worker queues.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "discovery/FindQenBoxClient.h"
#include "http/ConfigIP.h"
#include "platform/gui/HtmlView.h"

// System-menu command of the About entry: a multiple of 16 below 0xF000.
constexpr unsigned int IDM_ABOUTBOX = 0x0010;

// Queue keys of the window's thread and its two workers.
constexpr int32_t kWindowQueue = 0;
constexpr int32_t kSetIpQueue = 1;
constexpr int32_t kDiscoveryQueue = 1001;

// The vendor's pages opened by the download and manual buttons.
inline constexpr const char16_t* kClientDownloadUrl = u"https://www.example.com/qennote/download/";
inline constexpr const char16_t* kBoxManualUrl = u"https://www.example.com/qenbox/manual/";

class CQenBoxClientDlg : public platform::IHtmlViewEvents, public platform::IDialogHostEvents {
public:
  // What the controller needs from the world beyond the window; tests replace
  // them so that nothing probes the network or really waits. An empty
  // function stands for the program's own.
  struct Seams {
    std::function<QENBOXCLIENTDATA(int32_t)> findBox;                                // FindQenBoxClient
    std::function<bool(const CONFIG_IP_DATA&, int32_t&, std::u16string&)> configIP;  // ExecuteConfigIPCore
    std::function<void(std::chrono::milliseconds)> sleep;        // std::this_thread::sleep_for
    std::function<std::u16string(uint32_t)> loadStringResource;  // LoadStringResource
  };

  // Creates the window queue (key 0) on the calling thread.
  explicit CQenBoxClientDlg(platform::IDialogHost& host, Seams seams = {});
  ~CQenBoxClientDlg() override;
  CQenBoxClientDlg(const CQenBoxClientDlg&) = delete;
  CQenBoxClientDlg& operator=(const CQenBoxClientDlg&) = delete;

  // platform::IDialogHostEvents
  void OnInitDialog() override;
  void OnSysCommand(unsigned int id) override;
  // platform::IHtmlViewEvents
  void OnDocumentComplete(const std::u16string& location) override;
  void OnElementClick(const std::u16string& id) override;

  virtual std::u16string GetInputValue(const std::u16string& id);
  virtual void SetInputValue(const std::u16string& id, const std::u16string& text);

  // Queued operations. On the discovery worker (key 1001):
  void ExecuteFindBox(int32_t nSeconds);
  // On the set-ip worker (key 1):
  void ExecuteConfigIP(CONFIG_IP_DATA data);
  // On the window's thread (key 0):
  void OnBoxFound(std::u16string strIPAddress, std::u16string strIPType);
  void UpdateElementText(std::u16string strId, std::u16string strText);
  void ShowPage(int32_t nPage);
  void ShowMessage(std::u16string strText, int32_t nFailed);

  // True while an action for a worker exists (queued, running or refused and
  // not yet released). Such an action still points at this object, so the
  // object must outlive it.
  bool HasWorkerActions() const;

  std::u16string m_strBoxIP;
  std::u16string m_strBoxIPType;  // lower-cased

private:
  int OnButtonChangeIP();
  int OnReconfigButton();
  int OnButtonDownload();
  int OnButtonWeb();
  int OnButtonHelp();
  int OnButtonConsole();

  void PostFindBox(int32_t nSeconds);

  platform::IDialogHost& m_host;
  const Seams m_seams;  // read by the workers too, so never changed
  std::atomic<int> m_nWorkerActions{0};
};
