#include "http/QenHttpServer.h"

#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/QenHttpFormData.h"
#include "platform/ByteStream.h"
#include "platform/Internet.h"
#include "tests/http/HttpTestSupport.h"

namespace {

using httptest::LogCapture;
using httptest::U8;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// An HTTP server (or proxy) on 127.0.0.1 inside the test process.
class LocalServer {
public:
  LocalServer() = default;
  ~LocalServer() { Stop(); }

  httplib::Server& operator*() { return m_server; }
  httplib::Server* operator->() { return &m_server; }

  uint16_t Start() {
    m_port = static_cast<uint16_t>(m_server.bind_to_any_port("127.0.0.1"));
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    return m_port;
  }
  void Stop() {
    m_server.stop();
    if (m_thread.joinable())
      m_thread.join();
  }
  uint16_t Port() const { return m_port; }

private:
  httplib::Server m_server;
  std::thread m_thread;
  uint16_t m_port = 0;
};

class Recorder : public IQenHttpProgress {
public:
  int32_t OnProgress(int32_t nRead, int32_t nTotal, int32_t nReserved) override {
    calls.push_back({nRead, nTotal, nReserved});
    return 0;
  }
  int32_t ReservedNotify(int32_t) override { return 0; }
  std::vector<std::array<int32_t, 3>> calls;
};

struct Outcome {
  bool ok = false;
  std::string body;
  std::string headers;
  std::vector<std::string> log;
  Recorder progress;
};

// One POST of the form a=1 to host:port/path.
Outcome Post(const std::u16string& host, uint16_t port, const std::u16string& path,
             const std::u16string& proxy = u"", const std::u16string& proxyUser = u"",
             const std::u16string& proxyPassword = u"") {
  LogCapture log;
  Outcome out;
  CQenHttpServer server(host);
  server.m_nPort = port;
  server.m_strProxy = proxy;
  server.m_strProxyUserName = proxyUser;
  server.m_strProxyPassword = proxyPassword;
  EXPECT_TRUE(server.Open());
  CQenHttpFormData form;
  form.AddField(u"a", u"1");
  CByteStream stream;
  std::u16string headers;
  out.ok = server.SendRequest(u"POST", path, form, stream, headers, &out.progress);
  out.body.assign(reinterpret_cast<const char*>(stream.Data()), stream.Size());
  out.headers = U8(headers);
  out.log = log.Lines();
  return out;
}

class QenHttpServerTest : public ::testing::Test {
protected:
  void TearDown() override {
    platform::SetInternetTimeoutsForTest(0, 0, 0);
    httptest::ClearProxyEnvironment();
  }
};

TEST_F(QenHttpServerTest, StatusFromTheStatusLineDecides) {
  LocalServer server;
  server->Post(R"(/s(\d+))", [](const httplib::Request& request, httplib::Response& response) {
    response.status = std::stoi(request.matches[1]);
    if (response.status != 204 && response.status != 304)
      response.set_content("body of " + std::string(request.matches[1]), "text/plain");
  });
  uint16_t port = server.Start();
  struct Row {
    int status;
    bool ok;
    std::string body;
    std::vector<std::string> log;
  };
  const Row rows[] = {
      {200, true, "body of 200", {}},
      {204, true, "", {}},
      {304, true, "", {}},
      {399, true, "body of 399", {}},
      {500, false, "body of 500", {"Failed to call QenHttpReadResponse()!", "Failed to send request: /s500"}},
      {404, false, "body of 404", {"Failed to call QenHttpReadResponse()!", "Failed to send request: /s404"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    std::u16string path = u"/s" + platform::Utf8ToUtf16(std::to_string(row.status));
    Outcome out = Post(u"127.0.0.1", port, path);
    EXPECT_EQ(out.ok, row.ok);
    EXPECT_EQ(out.body, row.body) << "the body is read to its end either way";
    EXPECT_THAT(out.headers, StartsWith("HTTP/1.1 " + std::to_string(row.status) + " "));
    if (!row.body.empty()) {
      EXPECT_THAT(out.headers, HasSubstr("\r\nContent-Length: "));
    }
    EXPECT_EQ(out.headers.substr(out.headers.size() - 4), "\r\n\r\n");
    EXPECT_THAT(out.log, ElementsAreArray(row.log));
  }
}

TEST_F(QenHttpServerTest, ProgressAfterEveryReadIncludingTheLastEmptyOne) {
  LocalServer server;
  server->Post("/fixed", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(std::string(std::stoul(request.get_param_value("a")), 'x'), "text/plain");
  });
  server->Post("/chunked", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
      std::string part(1500, 'y');
      sink.write(part.data(), part.size());
      sink.write(part.data(), part.size());
      sink.done();
      return true;
    });
  });
  uint16_t port = server.Start();
  using Calls = std::vector<std::array<int32_t, 3>>;
  struct Row {
    const char* name;
    const char16_t* path;
    const char16_t* size;
    Calls calls;
  };
  const Row rows[] = {
      {"2500 bytes", u"/fixed", u"2500", {{1024, 2500, 0}, {2048, 2500, 0}, {2500, 2500, 0}, {2500, 2500, 0}}},
      {"empty body", u"/fixed", u"0", {{0, 0, 0}}},
      {"no length known", u"/chunked", u"0", {{1024, 0, 0}, {2048, 0, 0}, {3000, 0, 0}, {3000, 0, 0}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LogCapture log;
    CQenHttpServer client(u"127.0.0.1");
    client.m_nPort = port;
    ASSERT_TRUE(client.Open());
    CQenHttpFormData form;
    form.AddField(u"a", row.size);
    CByteStream stream;
    std::u16string headers;
    Recorder progress;
    EXPECT_TRUE(client.SendRequest(u"POST", row.path, form, stream, headers, &progress));
    EXPECT_EQ(progress.calls, row.calls);
    EXPECT_EQ(static_cast<int32_t>(stream.Size()), row.calls.back()[0]);
    EXPECT_THAT(log.Lines(), ElementsAre());
  }
}

TEST_F(QenHttpServerTest, ProxyAuthenticationDemandedThreeTimesSendsTheBodyThreeTimes) {
  LocalServer server;
  std::atomic<int> bodies{0};
  server->Post("/p", [&bodies](const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("a") == "1")
      ++bodies;
    response.status = 407;
    response.set_header("Proxy-Authenticate", "Basic realm=\"box\"");
  });
  uint16_t port = server.Start();
  Outcome out = Post(u"127.0.0.1", port, u"/p");
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(bodies.load(), 3);
  EXPECT_THAT(out.log, ElementsAre("Set proxy user name: ", "No proxy password", "Set proxy user name: ",
                                   "No proxy password", "Set proxy user name: ", "No proxy password",
                                   "Failed to send request: /p"));
  EXPECT_EQ(out.headers, "") << "the header block is only written for a reply that is read";
}

// A proxy on 127.0.0.1 that answers for every target and notes what it saw.
class RecordingProxy {
public:
  explicit RecordingProxy(std::string credentials = "") : m_credentials(std::move(credentials)) {
    m_server->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_targets.push_back(request.target);
      if (!m_credentials.empty() && request.get_header_value("Proxy-Authorization") != "Basic " + m_credentials) {
        response.status = 407;
        response.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
        return;
      }
      response.set_content("via proxy", "text/plain");
    });
    m_server.Start();
  }
  uint16_t Port() const { return m_server.Port(); }
  std::vector<std::string> Targets() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_targets;
  }

private:
  LocalServer m_server;
  std::string m_credentials;
  std::mutex m_mutex;
  std::vector<std::string> m_targets;
};

TEST_F(QenHttpServerTest, NamedProxyGetsTheCredentialsAfterItsFirstDemand) {
  RecordingProxy proxy("cHVzZXI6czNjcmV0IHB3");  // base64 of "puser:s3cret pw"
  uint16_t nowhere = httptest::FreePort();
  std::u16string proxyText = u"127.0.0.1:" + platform::Utf8ToUtf16(std::to_string(proxy.Port()));
  Outcome out = Post(u"127.0.0.1", nowhere, u"/p", proxyText, u"puser", u"s3cret pw");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.body, "via proxy");
  std::string target = "http://127.0.0.1:" + std::to_string(nowhere) + "/p";
  EXPECT_THAT(proxy.Targets(), ElementsAre(target, target));
  EXPECT_THAT(out.log, ElementsAre("Set proxy user name: puser", "Set proxy password: ******"));

  CQenHttpServer named(u"127.0.0.1");
  named.m_strProxy = proxyText;
  ASSERT_TRUE(named.Open());
  EXPECT_EQ(named.m_dwAccessType, platform::INTERNET_OPEN_TYPE_PROXY);
}

TEST_F(QenHttpServerTest, PreconfiguredProxyComesFromTheEnvironment) {
  RecordingProxy proxy;
  uint16_t nowhere = httptest::FreePort();
  std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
  struct Row {
    const char* name;
    const char* noProxy;
    bool viaProxy;
  };
  const Row rows[] = {{"http_proxy alone", nullptr, true}, {"no_proxy names the host", "127.0.0.1", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    httptest::ClearProxyEnvironment();
    setenv("http_proxy", proxyUrl.c_str(), 1);
    if (row.noProxy != nullptr)
      setenv("no_proxy", row.noProxy, 1);
    size_t before = proxy.Targets().size();
    Outcome out = Post(u"127.0.0.1", nowhere, u"/env");
    EXPECT_EQ(out.ok, row.viaProxy);
    EXPECT_EQ(proxy.Targets().size(), before + (row.viaProxy ? 1 : 0));
    if (!row.viaProxy) {
      ASSERT_FALSE(out.log.empty());
      EXPECT_THAT(out.log.front(), StartsWith("HttpSendRequest failed: 12029, "));
    }
  }
}

TEST_F(QenHttpServerTest, HostTextNeverChangesTheUrlsStructure) {
  // Anything that slipped through would go to this proxy, never off the machine.
  RecordingProxy trap;
  setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(trap.Port())).c_str(), 1);
  struct Row {
    const char16_t* host;
    bool plain;
  };
  const Row rows[] = {
      {u"1.2.3.4/x?y", false}, {u"a@b", false},        {u"127.0.0.1:81", false}, {u"127.0.0.1/", false},
      {u"box#frag", false},    {u"%31.2.3.4", false},  {u"127.1", false},        {u"0x7f.0.0.1", false},
      {u"2130706433", false},  {u"010.0.0.1", false},  {u"256.1.1.1", false},    {u"", false},
      {u"a b", false},         {u"a..b", false},       {u"[::1]", false},        {u"box\r\nX: y", false},
      {u"-box", false},        {u"b\u00f6x", false},   {u"qenbox.invalid", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(U8(row.host));
    size_t before = trap.Targets().size();
    Outcome out = Post(row.host, 80, u"/x");
    if (row.plain) {
      EXPECT_TRUE(out.ok);
      EXPECT_THAT(trap.Targets(), ElementsAre("http://qenbox.invalid/x"));
    } else {
      EXPECT_FALSE(out.ok);
      EXPECT_EQ(trap.Targets().size(), before);
      ASSERT_FALSE(out.log.empty());
      EXPECT_THAT(out.log.front(), StartsWith("HttpSendRequest failed: 12005, "));
      EXPECT_THAT(out.log, ElementsAre(out.log.front(), "Failed to call data.SendRequest()!",
                                       "Failed to send request: /x"));
    }
  }
}

TEST_F(QenHttpServerTest, TransportFailuresLogTheirCodes) {
  LocalServer server;
  server->Post("/drop", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(4000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
      if (offset != 0)
        return false;
      sink.write(std::string(1000, 'd').data(), 1000);
      return true;
    });
  });
  server->Post("/slowheader", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    response.set_content("late", "text/plain");
  });
  server->Post("/slowbody", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      sink.write("0123456789", 10);
      if (offset >= 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
      if (offset >= 20)
        sink.done();
      return true;
    });
  });
  server->Post("/trickle", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      sink.write("t", 1);
      if (offset >= 7)
        sink.done();
      return true;
    });
  });
  server->Post("/partialstall", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      if (offset == 0) {
        sink.write("0123456789", 10);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(4000));
      sink.done();
      return true;
    });
  });
  server->Post("/bigheader", [](const httplib::Request& request, httplib::Response& response) {
    response.set_header("X-Pad", std::string(std::stoul(request.get_param_value("n")), 'p'));
    response.set_content("small", "text/plain");
  });
  uint16_t port = server.Start();
  uint16_t closed = httptest::FreePort();
  // Shortened time-outs: 300 ms for the reply header and for a body byte.
  platform::SetInternetTimeoutsForTest(0, 300, 300);

  struct Row {
    const char* name;
    uint16_t port;
    const char16_t* path;
    bool ok;
    std::string body;
    std::vector<std::string> logPrefixes;
  };
  const Row rows[] = {
      {"nothing listens", closed, u"/x", false, "",
       {"HttpSendRequest failed: 12029, ", "Failed to call data.SendRequest()!", "Failed to send request: /x"}},
      {"dropped mid-body", port, u"/drop", false, std::string(1000, 'd'),
       {"GetLastError()=12030", "InternetGetLastResponseInfo=12030, ", "InternetReadFile failed",
        "Failed to call QenHttpReadResponse()!", "Failed to send request: /drop"}},
      {"reply header too slow", port, u"/slowheader", false, "",
       {"HttpSendRequest failed: 12002, ", "Failed to call data.SendRequest()!", "Failed to send request: /slowheader"}},
      {"body stalls", port, u"/slowbody", false, "01234567890123456789",
       {"GetLastError()=12002", "InternetGetLastResponseInfo=12002, ", "InternetReadFile failed",
        "Failed to call QenHttpReadResponse()!", "Failed to send request: /slowbody"}},
      {"slow body that never stalls", port, u"/trickle", true, "tttttttt", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto start = std::chrono::steady_clock::now();
    Outcome out = Post(u"127.0.0.1", row.port, row.path);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out.ok, row.ok);
    EXPECT_EQ(out.body, row.body);
    ASSERT_EQ(out.log.size(), row.logPrefixes.size()) << ::testing::PrintToString(out.log);
    for (size_t i = 0; i < out.log.size(); ++i)
      EXPECT_THAT(out.log[i], StartsWith(row.logPrefixes[i]));
    EXPECT_LT(took, std::chrono::milliseconds(2500));
  }

  {
    // A read that returns a partial buffer after a stall leaves the next read
    // no fresh window: the stall ends at one time-out, not two.
    SCOPED_TRACE("stall after a partial buffer");
    platform::SetInternetTimeoutsForTest(0, 300, 1000);
    auto start = std::chrono::steady_clock::now();
    Outcome out = Post(u"127.0.0.1", port, u"/partialstall");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.body, "0123456789");
    ASSERT_FALSE(out.log.empty());
    EXPECT_THAT(out.log[0], StartsWith("GetLastError()=12002"));
    EXPECT_LT(took, std::chrono::milliseconds(1700));
    platform::SetInternetTimeoutsForTest(0, 300, 300);
  }

  SCOPED_TRACE("header blocks");
  Outcome fits = Post(u"127.0.0.1", port, u"/bigheader?n=100");
  Outcome oversize = Post(u"127.0.0.1", port, u"/bigheader?n=6000");
  Outcome flood = Post(u"127.0.0.1", port, u"/bigheader?n=70000");
  EXPECT_TRUE(fits.ok);
  EXPECT_THAT(fits.headers, HasSubstr("X-Pad: ppp"));
  EXPECT_TRUE(oversize.ok) << "an oversize block reads as no block, status 200";
  EXPECT_EQ(oversize.headers, "");
  EXPECT_EQ(oversize.body, "small");
  EXPECT_FALSE(flood.ok);
  ASSERT_FALSE(flood.log.empty());
  EXPECT_THAT(flood.log.front(), StartsWith("HttpSendRequest failed: 12152, "));
}

TEST_F(QenHttpServerTest, OpenNeedsAnAgentAndRequestsNeedOpen) {
  LogCapture log;
  CQenHttpServer server(u"127.0.0.1");
  server.m_strAgent.clear();
  EXPECT_FALSE(server.Open());
  EXPECT_FALSE(server.m_hSession);
  EXPECT_FALSE(server.m_hConnection);
  CQenHttpFormData form;
  CByteStream stream;
  std::u16string headers = u"untouched";
  EXPECT_FALSE(server.SendRequest(u"POST", u"/x", form, stream, headers, nullptr));
  EXPECT_EQ(U8(headers), "untouched");
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Data not initialized!");
  EXPECT_THAT(lines[1], StartsWith("HttpOpenRequest failed: "));
  EXPECT_TRUE(server.Close());
  EXPECT_TRUE(server.Close());
}

}  // namespace
