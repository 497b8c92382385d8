#include "app/QenBoxClientApp.h"

#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Locale.h"
#include "tests/app/FakeDialogHost.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

namespace {

// Holds the fake discovery until the test lets it answer.
class Gate {
public:
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, 30s, [this] { return m_bOpen; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bOpen = true;
    }
    m_cv.notify_all();
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bOpen = false;
};

// One test only: the queues stop once per process.
TEST(RunQenBoxClientApp, ClosingWhileDiscoveryBlocksEndsWithinTheWaitAndShowsNoLateResult) {
  platform::SetUserDefaultLCIDForTest(1033);
  Recorder calls;
  FakeView view(calls);
  FakeHost host(calls, view);
  // The window initialises and is closed at once, while the search still runs.
  host.onRunModal = [](platform::IDialogHostEvents& events, platform::IHtmlViewEvents&) {
    events.OnInitDialog();
  };
  Gate discovery;
  CQenBoxClientDlg::Seams seams;
  seams.findBox = [&](int32_t) {
    calls.Add("Find");
    discovery.Wait();
    return QENBOXCLIENTDATA{u"192.0.2.20", u"static"};
  };

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunQenBoxClientApp(host, std::move(seams)), 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 4900ms);
  EXPECT_LT(elapsed, 6s);
  EXPECT_THAT(calls.Take(), ElementsAre("RunModal", "LoadPage 104", "Menu 16 &About QenBox Client...",
                                        "Icons", "Title QenBox Client", "Find"));

  // The search answers after the window has gone: nothing reaches the window.
  discovery.Open();
  std::this_thread::sleep_for(300ms);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_THAT(calls.Take(), IsEmpty());
  platform::SetUserDefaultLCIDForTest(0);
}

}  // namespace
