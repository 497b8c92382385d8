// Hostile text in the IP form of the real window, in a namespace LAN with the
// simulator echoing the set-ip fields it parsed (--echo-form): every value
// must reach the box's form parser exactly as the input held it, and no value
// may change the page's markup or add a script.
//
// The parent (the gtest run, root) makes the LAN and a private Xvfb display;
// for each row it starts the simulator with the row's credentials and runs
// this program again in the client namespace as the window: the real GTK host,
// WebKit view and controller. That run puts the values into the inputs (the
// view's own SetInputValue, or xdotool typing for rows marked so), clicks OK
// with the mouse, and prints what it saw as JSON: the page before and after
// the values went in, the message box text, and the form page shown again
// after the exchange.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <json/json.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/QenBoxClientApp.h"
#include "platform/Utf.h"
#include "platform/gui/GtkDialogHost.h"
#include "platform/gui/WebKitHtmlView.h"
#include "tests/lan/LanFixture.h"

extern char** environ;

namespace {

// Set for the window run: the path of its row file (JSON).
constexpr const char* kWindowRunEnv = "QEN_FORMINPUT_ROW";
constexpr int kWindowRunSeconds = 60;

const char* const kFields[] = {"UserId", "Password", "IPAddress", "SubnetMask", "Gateway"};
// The form field each input is sent as.
const char* const kFormNames[] = {"username", "password", "ip", "netmask", "gateway"};

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

bool ParseJson(const std::string& text, Json::Value& value) {
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

// ------------------------------------------------------------ the window run

// Every element in document order, the script count, the whole markup and the
// inputs' values, as JSON text.
constexpr char kDumpPage[] = R"js(
var all = document.getElementsByTagName('*');
var elements = [];
for (var i = 0; i < all.length; i++) elements.push(all[i].tagName + (all[i].id ? '#' + all[i].id : ''));
var values = {};
var inputs = document.getElementsByTagName('input');
for (var i = 0; i < inputs.length; i++) values[inputs[i].id] = inputs[i].value;
return JSON.stringify({ location: location.href, elements: elements, scripts: document.scripts.length,
                        markup: document.documentElement.outerHTML, values: values });
)js";

// The centre of an element in page coordinates.
constexpr char kElementCentre[] = R"js(
var e = document.getElementById(id);
if (!e) return '';
var r = e.getBoundingClientRect();
return Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height / 2);
)js";

// Stands between the controller and the real host: passes everything on, and
// drives the form the way the row says once the pages arrive.
class CFormDriver final : public platform::IDialogHost, public platform::IHtmlViewEvents {
public:
  CFormDriver(platform::GtkDialogHost& host, const Json::Value& row)
      : m_host(host), m_row(row), m_view(dynamic_cast<platform::WebKitHtmlView&>(host.View())) {}

  const Json::Value& Result() const { return m_result; }

  // platform::IDialogHost
  platform::IHtmlView& View() override { return m_host.View(); }
  void SetTitle(const std::u16string& title) override { m_host.SetTitle(title); }
  void SetIcons() override { m_host.SetIcons(); }
  void AppendSystemMenuItem(unsigned int id, const std::u16string& text) override {
    m_host.AppendSystemMenuItem(id, text);
  }
  void ShowMessageBox(const std::u16string& text) override {
    m_result["messages"].append(platform::Utf16ToUtf8(text));
    // The real box opens; a moment later it is read and answered with OK.
    g_timeout_add(500, &CFormDriver::AnswerMessageBoxes, this);
    m_host.ShowMessageBox(text);
    m_bMessageClosed = true;
    CloseWhenDone();
  }
  void ShowAboutBox() override { m_host.ShowAboutBox(); }
  void OpenUrl(const std::u16string& url) override { m_host.OpenUrl(url); }
  int RunModal(platform::IDialogHostEvents& events, platform::IHtmlViewEvents& viewEvents) override {
    m_pViewEvents = &viewEvents;
    g_timeout_add_seconds(kWindowRunSeconds, &CFormDriver::OnTimeLimit, this);
    return m_host.RunModal(events, *this);
  }

  // platform::IHtmlViewEvents
  void OnDocumentComplete(const std::u16string& location) override {
    m_pViewEvents->OnDocumentComplete(location);
    const std::string uri = platform::Utf16ToUtf8(location);
    if (uri.size() < 4 || uri.compare(uri.size() - 4, 4, "/131") != 0)
      return;
    if (!m_bFilled) {
      m_bFilled = true;
      // Queued behind the controller's own texts and defaults for this page.
      Dump("pristine131", [this] { FillField(0); });
    } else if (!m_bAgainDumped) {
      Dump("again131", [this] {
        m_bAgainDumped = true;
        CloseWhenDone();
      });
    }
  }
  void OnElementClick(const std::u16string& id) override { m_pViewEvents->OnElementClick(id); }

private:
  using Step = std::function<void()>;

  struct CallData {
    CFormDriver* pThis;
    Step next;
    std::string name;
  };

  WebKitWebView* WebView() const { return WEBKIT_WEB_VIEW(m_view.Widget()); }

  void RunScript(const char* pszBody, GVariant* pArgs, std::string name, Step next,
                 void (*pDone)(GObject*, GAsyncResult*, gpointer)) {
    webkit_web_view_call_async_javascript_function(WebView(), pszBody, -1, pArgs, nullptr, nullptr, nullptr,
                                                   pDone, new CallData{this, std::move(next), std::move(name)});
  }

  static std::string ScriptText(GObject* pSource, GAsyncResult* pResult) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(JSCValue) value =
        webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(pSource), pResult, &error);
    if (value == nullptr || !jsc_value_is_string(value))
      return {};
    g_autofree gchar* pszText = jsc_value_to_string(value);
    return pszText;
  }

  void Dump(const char* pszName, Step next) {
    RunScript(kDumpPage, nullptr, pszName, std::move(next), [](GObject* pSource, GAsyncResult* pResult, gpointer p) {
      std::unique_ptr<CallData> data(static_cast<CallData*>(p));
      Json::Value page;
      if (!ParseJson(ScriptText(pSource, pResult), page))
        page = "unreadable";
      data->pThis->m_result["pages"][data->name] = page;
      data->next();
    });
  }

  // Puts the row's value for field n into its input, then goes on with n + 1;
  // after the last one, looks at the page and clicks OK.
  void FillField(size_t n) {
    if (n == std::size(kFields)) {
      g_timeout_add(300, &CFormDriver::AfterFilling, this);
      return;
    }
    const char* pszId = kFields[n];
    if (!m_row["values"].isMember(pszId)) {
      FillField(n + 1);
      return;
    }
    const std::string text = m_row["values"][pszId].asString();
    if (!m_row["typed"].asBool()) {
      m_view.SetInputValue(platform::Utf8ToUtf16(pszId), platform::Utf8ToUtf16(text));
      FillField(n + 1);
      return;
    }
    // Typed: a click into the input, select all, then the keys.
    std::vector<std::string> keys = {"key", "--clearmodifiers", "ctrl+a"};
    if (text.empty()) {
      keys.push_back("BackSpace");
    } else {
      keys.insert(keys.end(), {"type", "--delay", "15", "--", text});
    }
    ClickElement(pszId, std::move(keys), [this, n] { FillField(n + 1); });
  }

  static gboolean AfterFilling(gpointer p) {
    auto* pThis = static_cast<CFormDriver*>(p);
    pThis->Dump("filled131", [pThis] { pThis->ClickElement("ButtonChangeIP", {}, [] {}); });
    return G_SOURCE_REMOVE;
  }

  // Moves the mouse onto the element, clicks, runs the further xdotool
  // commands, and goes on once xdotool has ended.
  void ClickElement(const char* pszId, std::vector<std::string> more, Step next) {
    GVariantDict args;
    g_variant_dict_init(&args, nullptr);
    g_variant_dict_insert(&args, "id", "s", pszId);
    auto step = [this, more = std::move(more), next = std::move(next)]() mutable {
      std::vector<std::string> argv = {"xdotool", "mousemove", std::to_string(m_nClickX),
                                       std::to_string(m_nClickY), "click", "1"};
      argv.insert(argv.end(), more.begin(), more.end());
      SpawnAndThen(argv, std::move(next));
    };
    RunScript(kElementCentre, g_variant_dict_end(&args), pszId, std::move(step),
              [](GObject* pSource, GAsyncResult* pResult, gpointer p) {
                std::unique_ptr<CallData> data(static_cast<CallData*>(p));
                CFormDriver* pThis = data->pThis;
                int x = 0, y = 0;
                if (std::sscanf(ScriptText(pSource, pResult).c_str(), "%d %d", &x, &y) != 2) {
                  pThis->m_result["errors"].append("no element " + data->name);
                  pThis->CloseNow();
                  return;
                }
                // Page coordinates to the screen: the view's place in its toplevel, and the toplevel's.
                GtkWidget* pView = pThis->m_view.Widget();
                GtkWidget* pTop = gtk_widget_get_toplevel(pView);
                int viewX = 0, viewY = 0, topX = 0, topY = 0;
                gtk_widget_translate_coordinates(pView, pTop, 0, 0, &viewX, &viewY);
                gdk_window_get_origin(gtk_widget_get_window(pTop), &topX, &topY);
                pThis->m_nClickX = topX + viewX + x;
                pThis->m_nClickY = topY + viewY + y;
                data->next();
              });
  }

  struct SpawnData {
    CFormDriver* pThis;
    Step next;
  };

  void SpawnAndThen(const std::vector<std::string>& argv, Step next) {
    std::vector<char*> raw;
    for (const std::string& arg : argv)
      raw.push_back(const_cast<char*>(arg.c_str()));
    raw.push_back(nullptr);
    GPid pid = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_spawn_async(nullptr, raw.data(), nullptr,
                       static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
                       &pid, &error)) {
      m_result["errors"].append(std::string("xdotool: ") + error->message);
      CloseNow();
      return;
    }
    g_child_watch_add(pid,
                      [](GPid child, gint status, gpointer p) {
                        std::unique_ptr<SpawnData> data(static_cast<SpawnData*>(p));
                        g_spawn_close_pid(child);
                        if (!g_spawn_check_wait_status(status, nullptr))
                          data->pThis->m_result["errors"].append("xdotool failed");
                        // Time for the events to reach the page.
                        auto* pNext = new Step(std::move(data->next));
                        g_timeout_add(300,
                                      [](gpointer q) {
                                        std::unique_ptr<Step> step(static_cast<Step*>(q));
                                        (*step)();
                                        return G_SOURCE_REMOVE;
                                      },
                                      pNext);
                      },
                      new SpawnData{this, std::move(next)});
  }

  static gboolean AnswerMessageBoxes(gpointer p) {
    auto* pThis = static_cast<CFormDriver*>(p);
    GList* pWindows = gtk_window_list_toplevels();
    for (GList* pItem = pWindows; pItem != nullptr; pItem = pItem->next) {
      if (!GTK_IS_MESSAGE_DIALOG(pItem->data))
        continue;
      g_autofree gchar* pszText = nullptr;
      gboolean bMarkup = TRUE;
      g_object_get(pItem->data, "text", &pszText, "use-markup", &bMarkup, nullptr);
      Json::Value box;
      box["text"] = pszText != nullptr ? pszText : "";
      box["markup"] = bMarkup != FALSE;
      pThis->m_result["boxes"].append(box);
      gtk_dialog_response(GTK_DIALOG(pItem->data), GTK_RESPONSE_OK);
    }
    g_list_free(pWindows);
    return G_SOURCE_REMOVE;
  }

  // The form has been shown again after the exchange and its message read.
  void CloseWhenDone() {
    if (m_bMessageClosed && m_bAgainDumped)
      CloseNow();
  }

  void CloseNow() {
    GtkWidget* pTop = gtk_widget_get_toplevel(m_view.Widget());
    if (GTK_IS_WINDOW(pTop))
      gtk_window_close(GTK_WINDOW(pTop));
  }

  static gboolean OnTimeLimit(gpointer p) {
    auto* pThis = static_cast<CFormDriver*>(p);
    pThis->m_result["errors"].append("time limit");
    AnswerMessageBoxes(p);
    pThis->CloseNow();
    return G_SOURCE_REMOVE;
  }

  platform::GtkDialogHost& m_host;
  const Json::Value& m_row;
  platform::WebKitHtmlView& m_view;
  platform::IHtmlViewEvents* m_pViewEvents = nullptr;
  Json::Value m_result{Json::objectValue};
  bool m_bFilled = false;
  bool m_bAgainDumped = false;
  bool m_bMessageClosed = false;
  int m_nClickX = 0;
  int m_nClickY = 0;
};

int RunWindow(const char* pszRowPath, int argc, char** argv) {
  std::ifstream in(pszRowPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Json::Value row;
  if (!ParseJson(text, row))
    return 2;
  gtk_init(&argc, &argv);
  Json::Value result;
  {
    platform::GtkDialogHost host;
    CFormDriver driver(host, row);
    RunQenBoxClientApp(driver);
    result = driver.Result();
  }
  std::cout << Compact(result) << std::endl;
  return 0;
}

// ------------------------------------------------------------ the test

struct Row {
  const char* name;
  bool typed;  // typed with xdotool; otherwise set with the view's SetInputValue
  std::string user, password, ip, netmask, gateway;
};

std::string LongPassword() {
  std::string text;
  for (int i = 0; text.size() < 10000; ++i)
    text += "x&y=%" + std::to_string(i % 10);
  text.resize(10000);
  return text;
}

class CXvfb {
public:
  bool Start(std::string& display) {
    for (int n = 700 + static_cast<int>(getpid() % 100); n < 900; ++n) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      struct stat st {};
      if (stat(socket.c_str(), &st) == 0 || stat(lock.c_str(), &st) == 0)
        continue;
      display = ":" + std::to_string(n);
      std::vector<std::string> args = {"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
      std::vector<char*> raw;
      for (std::string& arg : args)
        raw.push_back(arg.data());
      raw.push_back(nullptr);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
      const int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, raw.data(), environ);
      posix_spawn_file_actions_destroy(&actions);
      if (rc != 0) {
        m_pid = -1;
        return false;
      }
      for (int i = 0; i < 100; ++i) {
        if (stat(socket.c_str(), &st) == 0)
          return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return false;
    }
    return false;
  }
  ~CXvfb() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }

private:
  pid_t m_pid = -1;
};

class FormInputWindow : public LanFixture {
protected:
  void SetUp() override {
    LanFixture::SetUp();
    if (IsSkipped())
      return;
    std::string display;
    ASSERT_TRUE(m_xvfb.Start(display)) << "cannot start Xvfb (package xvfb)";
    setenv("DISPLAY", display.c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    char runtime[] = "/tmp/qenbox-forminput-XXXXXX";
    ASSERT_NE(mkdtemp(runtime), nullptr);
    m_strRuntime = runtime;
    setenv("XDG_RUNTIME_DIR", runtime, 1);
  }
  void TearDown() override {
    LanFixture::TearDown();
    if (!m_strRuntime.empty())
      std::system(("rm -rf '" + m_strRuntime + "'").c_str());
  }

  CXvfb m_xvfb;
  std::string m_strRuntime;
};

TEST_F(FormInputWindow, HostileValuesReachTheBoxAsTheInputsHoldThemAndLeaveThePagesAlone) {
  // The box answers 3804 to the mask 255.0.255.0 (or 3803 to an address it
  // cannot read), so its echo of the fields is what the message box shows.
  const std::vector<Row> rows = {
      {"quotes and backslashes", false, "a\"b'c`d\\", "\"'\\\"\\\\'", "192.0.2.30", "255.0.255.0", ""},
      {"end of script and markup", false, "</script><script>alert(1)</script>", "<b>bold</b>&amp;<!--",
       "192.0.2.30", "255.0.255.0", "192.0.2.1"},
      {"form separators", false, "admin&ip=6.6.6.6", "p&netmask=0.0.0.0&gateway=1.1.1.1=&", "192.0.2.30",
       "255.0.255.0", ""},
      {"percent escapes", false, "%00%41%", "100%+%2B%26%zz", "192.0.2.30", "255.0.255.0", ""},
      {"10000-character password", false, "admin", LongPassword(), "192.0.2.30", "255.0.255.0", ""},
      {"right-to-left and emoji", false, "\xD9\x85\xD8\xAF\xD9\x8A\xD8\xB1\xE2\x80\xAE" "admin",
       "\xF0\x9F\x94\x91\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\xF0\x9F\x98\x80\xE2\x80\x8F"
       "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA",
       "192.0.2.30", "255.0.255.0", ""},
      {"blanks and dots around the addresses", false, "admin", "tab\there", " 192.0.2.30 ", "255.0.255.0 ",
       "192.0.2.1."},
      {"typed: quotes, tags and separators", true, "ad\"min</script>", "p%00&ip=1'<b>", "192.0.2.30",
       "255.0.255.0", ""},
  };
  ASSERT_TRUE(CreateLan());
  char self[4096];
  const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(selfLength, 0);
  self[selfLength] = '\0';

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(StartSimulator({"--iptype", "dhcp", "--echo-form", "--user", row.user, "--password", row.password}));

    Json::Value rowJson;
    rowJson["typed"] = row.typed;
    const std::string values[] = {row.user, row.password, row.ip, row.netmask, row.gateway};
    for (size_t i = 0; i < std::size(kFields); ++i)
      rowJson["values"][kFields[i]] = values[i];
    char rowPath[] = "/tmp/qenbox-forminput-row-XXXXXX";
    const int fd = mkstemp(rowPath);
    ASSERT_GE(fd, 0);
    const std::string rowText = Compact(rowJson);
    ASSERT_EQ(write(fd, rowText.data(), rowText.size()), static_cast<ssize_t>(rowText.size()));
    close(fd);
    setenv(kWindowRunEnv, rowPath, 1);
    const auto start = std::chrono::steady_clock::now();
    const LanRunResult run = RunClient(self, {}, std::chrono::seconds(kWindowRunSeconds + 30));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsetenv(kWindowRunEnv);
    std::remove(rowPath);
    const std::string simLog = StopSimulator();

    ASSERT_EQ(run.nExitCode, 0) << "timed out: " << run.bTimedOut << "\n" << run.strErr;
    Json::Value result;
    ASSERT_TRUE(ParseJson(run.strOut, result)) << run.strOut;
    EXPECT_FALSE(result.isMember("errors")) << Compact(result["errors"]);
    const Json::Value& pages = result["pages"];
    const Json::Value& pristine = pages["pristine131"];
    const Json::Value& filled = pages["filled131"];
    const Json::Value& again = pages["again131"];
    ASSERT_TRUE(pristine.isObject() && filled.isObject() && again.isObject()) << Compact(pages);

    // The inputs show the values exactly; the page around them is the same
    // document, down to every character of its markup, and has no script.
    for (size_t i = 0; i < std::size(kFields); ++i) {
      SCOPED_TRACE(kFields[i]);
      EXPECT_EQ(filled["values"][kFields[i]].asString(), values[i]);
    }
    EXPECT_NE(pristine["markup"].asString().find("id=\"ButtonChangeIP\""), std::string::npos)
        << "not the form page: " << pristine["location"].asString();
    EXPECT_EQ(filled["elements"], pristine["elements"]);
    EXPECT_EQ(filled["markup"].asString(), pristine["markup"].asString());
    EXPECT_EQ(pristine["scripts"].asInt(), 0);
    EXPECT_EQ(filled["scripts"].asInt(), 0);
    // After the exchange the form comes back as it first was.
    EXPECT_EQ(again["markup"].asString(), pristine["markup"].asString());
    EXPECT_EQ(again["values"], pristine["values"]);

    // What the box's form parser got, as it echoed it.
    ASSERT_EQ(result["messages"].size(), 1u) << Compact(result["messages"]);
    const std::string message = result["messages"][0].asString();
    Json::Value echo;
    ASSERT_TRUE(ParseJson(message, echo)) << message;
    for (size_t i = 0; i < std::size(kFields); ++i) {
      SCOPED_TRACE(kFormNames[i]);
      if (values[i].empty() && i == 4) {
        EXPECT_FALSE(echo.isMember(kFormNames[i])) << "an empty gateway is left out";
        continue;
      }
      ASSERT_EQ(echo[kFormNames[i]].size(), 1u) << message.substr(0, 400);
      EXPECT_EQ(echo[kFormNames[i]][0].asString(), values[i]);
    }
    EXPECT_EQ(echo.size(), row.gateway.empty() ? 4u : 5u) << "fields the form did not have";
    // The box shows the text as text, and the log has it as shown.
    ASSERT_EQ(result["boxes"].size(), 1u);
    EXPECT_EQ(result["boxes"][0]["text"].asString(), message);
    EXPECT_FALSE(result["boxes"][0]["markup"].asBool());
    ASSERT_FALSE(run.log.empty());
    EXPECT_EQ(run.log.back(), message);
    EXPECT_EQ(simLog.find(row.password), std::string::npos) << "the simulator logged the password";
    std::printf("[ figure ] %s: %s, %zu page elements, a message of %zu bytes, window run %.1f s\n", row.name,
                row.typed ? "typed" : "set", static_cast<size_t>(pristine["elements"].size()), message.size(),
                seconds);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* pszRow = std::getenv(kWindowRunEnv))
    return RunWindow(pszRow, argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
