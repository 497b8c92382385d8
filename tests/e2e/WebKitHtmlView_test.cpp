// The WebKit view against the real pages, in a window under Xvfb (run through
// with-xvfb.sh): what the controller relies on that the end-to-end run cannot
// see on the screen. The page's DOM is read back with the view's own engine.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>
#include <vector>

#include "platform/Utf.h"
#include "platform/gui/WebKitHtmlView.h"

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

struct Recorder : platform::IHtmlViewEvents {
  void OnDocumentComplete(const std::u16string& location) override { completed.push_back(Utf16ToUtf8(location)); }
  void OnElementClick(const std::u16string& id) override {
    clicks.push_back(Utf16ToUtf8(id));
    if (pView != nullptr)
      valuesAtClick.push_back(Utf16ToUtf8(pView->GetElementValue(u"IPAddress")));
  }
  std::vector<std::string> completed;
  std::vector<std::string> clicks;
  std::vector<std::string> valuesAtClick;
  platform::IHtmlView* pView = nullptr;
};

template <class Done>
bool RunUntil(Done done, int timeoutMs = 10000) {
  const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > deadline)
      return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

class WebKitHtmlViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_view.Widget());
    gtk_widget_show_all(m_pWindow);
    m_events.pView = &m_view;
    m_view.SetEvents(&m_events);
  }
  void TearDown() override {
    m_view.Close();
    gtk_widget_destroy(m_pWindow);
  }

  void Load(int page) {
    const size_t before = m_events.completed.size();
    m_view.LoadPage(page);
    ASSERT_TRUE(RunUntil([&] { return m_events.completed.size() > before; })) << "page " << page;
  }

  // Evaluates script in the page and returns its result as text.
  std::string Evaluate(const std::string& script) {
    struct Result {
      bool done = false;
      std::string text;
    } result;
    webkit_web_view_evaluate_javascript(
        WEBKIT_WEB_VIEW(m_view.Widget()), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* pSource, GAsyncResult* pAsync, gpointer pData) {
          auto* pResult = static_cast<Result*>(pData);
          g_autoptr(JSCValue) value =
              webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(pSource), pAsync, nullptr);
          if (value != nullptr && !jsc_value_is_undefined(value)) {
            g_autofree gchar* pszText = jsc_value_to_string(value);
            pResult->text = pszText;
          }
          pResult->done = true;
        },
        &result);
    EXPECT_TRUE(RunUntil([&] { return result.done; })) << script;
    return result.text;
  }

  platform::WebKitHtmlView m_view{"/opt/qen box/QenBoxClient"};
  Recorder m_events;
  GtkWidget* m_pWindow = nullptr;
};

TEST_F(WebKitHtmlViewTest, LocationEndsInThePageNumberAfterTheProgramPath) {
  Load(104);
  ASSERT_EQ(1u, m_events.completed.size());
  EXPECT_EQ("res:///opt/qen%20box/QenBoxClient/104", m_events.completed[0]);
  // The relative "loading_gif" is served from the bundle as the animation.
  EXPECT_EQ("170x110", Evaluate("(function(){var i=document.images[0];"
                                "return i.complete ? i.naturalWidth + 'x' + i.naturalHeight : 'not loaded';})()"));
}

TEST_F(WebKitHtmlViewTest, TextIsShownLiterallyAndInOrder) {
  Load(131);
  const std::u16string tricky = u"quote \" back \\ </script> <b>not bold</b>\nnext line 汉字";
  m_view.SetElementText(u"HintLabel", u"first");
  m_view.SetElementText(u"HintLabel", tricky);
  m_view.SetElementText(u"NoSuchElement", u"dropped");
  m_view.SetElementText(u"IPAddress", u"192.0.2.");
  EXPECT_EQ(Utf16ToUtf8(tricky), Evaluate("document.getElementById('HintLabel').textContent"));
  EXPECT_EQ("0", Evaluate("String(document.getElementById('HintLabel').children.length)"));
  EXPECT_EQ("192.0.2.", Evaluate("document.getElementById('IPAddress').value"));
  EXPECT_EQ("null", Evaluate("String(document.getElementById('NoSuchElement'))"));
}

TEST_F(WebKitHtmlViewTest, ClickCarriesTheValuesAsTheyWereAtTheClick) {
  Load(131);
  EXPECT_EQ(u"", m_view.GetElementValue(u"IPAddress"));
  m_view.SetElementText(u"IPAddress", u"192.0.2.");
  // What the user types arrives as the input's value; the click follows.
  Evaluate("document.getElementById('IPAddress').value = '192.0.2.30';"
           "document.getElementById('ButtonChangeIP').click(); true");
  ASSERT_TRUE(RunUntil([&] { return !m_events.clicks.empty(); }));
  EXPECT_EQ("ButtonChangeIP", m_events.clicks[0]);
  EXPECT_EQ("192.0.2.30", m_events.valuesAtClick[0]);
  EXPECT_EQ(u"admin", m_view.GetElementValue(u"UserId"));
  EXPECT_EQ(u"", m_view.GetElementValue(u"Password"));
  EXPECT_EQ(u"", m_view.GetElementValue(u"HintLabel"));  // no text "value" property
  EXPECT_EQ(u"", m_view.GetElementValue(u"NoSuchElement"));
}

TEST_F(WebKitHtmlViewTest, ButtonInputsShowTheirValue) {
  Load(130);
  m_view.SetInputValue(u"ButtonDownload", u"Download Client");
  m_view.SetInputValue(u"SubTitle", u"not an input");
  EXPECT_EQ("Download Client", Evaluate("document.getElementById('ButtonDownload').value"));
  EXPECT_EQ("Your QenBox (%1) is running normally.", Evaluate("document.getElementById('SubTitle').textContent"));
}

TEST_F(WebKitHtmlViewTest, NavigationLeavesOnlyForOurScheme) {
  Load(130);
  // A link to another scheme (the pages have none) is refused by the view;
  // http(s) from our pages WebKit refuses by itself, before asking.
  Evaluate("var a = document.createElement('a'); a.href = 'about:blank'; document.body.appendChild(a); a.click(); true");
  Evaluate("document.getElementById('ReconfigButton').click(); true");
  ASSERT_TRUE(RunUntil([&] { return !m_events.clicks.empty(); }));
  for (int i = 0; i < 500; ++i) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  EXPECT_EQ(1u, m_events.completed.size());
  EXPECT_NE(std::string::npos, Evaluate("location.href").find("/130"));
}

TEST_F(WebKitHtmlViewTest, EachFinishedLoadReportsItsOwnPage) {
  m_view.LoadPage(132);
  // Replaced while under way, as a quick set-ip answer replaces 132 by 104.
  ASSERT_TRUE(RunUntil([&] {
    return webkit_web_view_get_estimated_load_progress(WEBKIT_WEB_VIEW(m_view.Widget())) > 0.2;
  }));
  m_view.LoadPage(104);
  ASSERT_TRUE(RunUntil([&] {
    return !m_events.completed.empty() && m_events.completed.back().find("/104") != std::string::npos;
  }));
  for (int i = 0; i < 300; ++i) {
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  // 132 reports itself if it got to finish, never as a second 104.
  ASSERT_LE(m_events.completed.size(), 2u);
  EXPECT_NE(std::string::npos, m_events.completed.back().find("/104"));
  if (m_events.completed.size() == 2) {
    EXPECT_NE(std::string::npos, m_events.completed.front().find("/132"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "no display: run under tests/e2e/with-xvfb.sh\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
