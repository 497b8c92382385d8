#include "http/ConfigIP.h"

#include <json/json.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/http/HttpTestSupport.h"

namespace {

using httptest::LogCapture;
using httptest::Simulator;
using httptest::U8;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kPath = "/manage_console/set-ip";
const std::string kCantSend = "Can't send config request to " + kPath;

CONFIG_IP_DATA DefaultData() {
  return CONFIG_IP_DATA{u"127.0.0.1", u"admin", u"admin", u"192.0.2.30", u"255.255.255.0", u""};
}

struct Result {
  bool ok = false;
  int32_t code = 0;
  std::string message;
  std::vector<std::string> log;
  std::string simLog;
};

// Runs one exchange against a simulator started with args (none when
// startSimulator is false: then nothing listens on the port).
Result Exchange(const std::vector<std::string>& args, CONFIG_IP_DATA data = DefaultData(),
                bool startSimulator = true) {
  Result result;
  std::unique_ptr<Simulator> sim;
  uint16_t port = httptest::FreePort();
  if (startSimulator) {
    sim = std::make_unique<Simulator>(args);
    EXPECT_TRUE(sim->Running()) << "qenbox-sim did not start: " << httptest::SimulatorPath();
    port = sim->Port();
  }
  SetConfigIPPort(port);
  LogCapture log;
  std::u16string message;
  result.ok = ExecuteConfigIPCore(data, result.code, message);
  SetConfigIPPort(0);
  result.message = U8(message);
  result.log = log.Lines();
  if (sim)
    result.simLog = sim->Stop();
  return result;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

TEST(ExecuteConfigIPCore, EveryRowOfTheFailureTable) {
  // "密码错误" (wrong password) in GB2312.
  const std::string gbMessage = "\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3";
  const std::string gbBody = "{\"return_code\":3900,\"return_message\":\"" + gbMessage + "\"}";
  const std::string deep(5000, '[');
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool startSimulator;
    const char16_t* user;
    bool ok;
    int32_t code;
    std::string message;
    std::vector<std::string> logPrefixes;
    int requests = 1;  // set-ip requests the box sees
  };
  const Row rows[] = {
      {"nothing listens", {}, false, u"admin", false, 0, kCantSend,
       {"HttpSendRequest failed: 12029, ", "Failed to call data.SendRequest()!", "Failed to send request: " + kPath,
        "SendRequest failed: " + kPath, "", ""},
       0},
      {"status 500", {"--http-status", "500"}, true, u"admin", false, 0, kCantSend,
       {"Failed to call QenHttpReadResponse()!", "Failed to send request: " + kPath, "SendRequest failed: " + kPath,
        "HTTP/1.1 500 Internal Server Error ", ""}},
      {"407 three times", {"--http-407"}, true, u"admin", false, 0, kCantSend,
       {"Set proxy user name: ", "No proxy password", "Set proxy user name: ", "No proxy password",
        "Set proxy user name: ", "No proxy password", "Failed to send request: " + kPath,
        "SendRequest failed: " + kPath, "", ""},
       3},
      {"dropped mid-body", {"--http-drop"}, true, u"admin", false, 0, kCantSend,
       {"GetLastError()=12030", "InternetGetLastResponseInfo=12030, ", "InternetReadFile failed",
        "Failed to call QenHttpReadResponse()!", "Failed to send request: " + kPath, "SendRequest failed: " + kPath,
        "HTTP/1.1 200 OK ", ""}},
      {"body over 1 MiB", {"--http-body-bytes", "1100000"}, true, u"admin", false, 0, kCantSend,
       {"StreamWrite failed", "Failed to call QenHttpReadResponse()!", "Failed to send request: " + kPath,
        "SendRequest failed: " + kPath, "HTTP/1.1 200 OK ", ""}},
      {"HTML page with 200", {"--http-body", "<html><body>Busy</body></html>", "--http-content-type", "text/html"},
       true, u"admin", false, 0, "Can't parse response: <html><body>Busy</body></html>", {}},
      {"not JSON", {"--http-body", "return_code=200"}, true, u"admin", false, 0,
       "Can't parse response: return_code=200", {}},
      {"empty body", {"--http-body", ""}, true, u"admin", false, 0, "Can't parse response: ", {}},
      {"nesting that makes the parser throw", {"--http-body", deep}, true, u"admin", false, 0,
       "Can't parse response: " + deep, {}},
      {"return_code as a string", {"--http-body", R"({"return_code":"200","return_message":"OK"})"}, true,
       u"admin", false, 0, R"(Return code is not integer: {"return_code":"200","return_message":"OK"})", {}},
      {"return_code 200.0", {"--http-body", R"({"return_code":200.0,"return_message":"OK"})"}, true, u"admin",
       false, 0, R"(Return code is not integer: {"return_code":200.0,"return_message":"OK"})", {}},
      {"return_code 2e2", {"--http-body", R"({"return_code":2e2,"return_message":"OK"})"}, true, u"admin", false, 0,
       R"(Return code is not integer: {"return_code":2e2,"return_message":"OK"})", {}},
      {"return_code beyond 32 bits", {"--http-body", R"({"return_code":3000000000,"return_message":"OK"})"}, true,
       u"admin", false, 0, R"(Return code is not integer: {"return_code":3000000000,"return_message":"OK"})", {}},
      {"no return_code, no return_message", {"--http-body", "{}"}, true, u"admin", false, 0,
       "Return code is not integer: {}", {}},
      {"array root", {"--http-body", R"([200,"OK"])"}, true, u"admin", false, 0,
       R"(Return code is not integer: [200,"OK"])", {}},
      {"number root", {"--http-body", "200"}, true, u"admin", false, 0, "Return code is not integer: 200", {}},
      {"string root", {"--http-body", R"("OK")"}, true, u"admin", false, 0, R"(Return code is not integer: "OK")", {}},
      {"null root", {"--http-body", "null"}, true, u"admin", false, 0, "Return code is not integer: null", {}},
      {"return_message missing", {"--http-body", R"({"return_code":200})"}, true, u"admin", false, 0,
       R"(Return message is not string: {"return_code":200})", {}},
      {"return_message a number", {"--http-body", R"({"return_code":3802,"return_message":5})"}, true, u"admin",
       false, 0, R"(Return message is not string: {"return_code":3802,"return_message":5})", {}},
      {"accepted", {}, true, u"admin", true, 200, "OK", {}},
      {"header block over 10240 bytes: no type, still 200", {"--http-header-bytes", "6000"}, true, u"admin", true,
       200, "OK", {}},
      {"wrong password", {"--password", "secret"}, true, u"admin", false, 3802, "Wrong password",
       {"Can't change ip address of qenbox: Wrong password"}},
      {"wrong user name", {}, true, u"root", false, 3801, "Wrong user name",
       {"Can't change ip address of qenbox: Wrong user name"}},
      {"non-ASCII message in UTF-8",
       {"--http-body", "{\"return_code\":3900,\"return_message\":\"\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF \xC3\xA9\"}",
        "--http-content-type", "application/json; charset=utf-8"},
       true, u"admin", false, 3900, "\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF \xC3\xA9",
       {"Can't change ip address of qenbox: \xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF \xC3\xA9"}},
      {"non-ASCII message in GB2312",
       {"--http-body-hex", Hex(gbBody), "--http-content-type", "application/json; charset=gb2312"}, true, u"admin",
       false, 3900, "\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF",
       {"Can't change ip address of qenbox: \xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CONFIG_IP_DATA data = DefaultData();
    data.strUserName = row.user;
    Result result = Exchange(row.args, data, row.startSimulator);
    EXPECT_EQ(result.ok, row.ok);
    EXPECT_EQ(result.code, row.code);
    EXPECT_EQ(result.message, row.message);
    ASSERT_EQ(result.log.size(), row.logPrefixes.size()) << ::testing::PrintToString(result.log);
    for (size_t i = 0; i < result.log.size(); ++i) {
      if (row.logPrefixes[i].empty())
        EXPECT_EQ(result.log[i], "");
      else
        EXPECT_THAT(result.log[i], StartsWith(row.logPrefixes[i]));
    }
    int requests = 0;
    std::istringstream simLines(result.simLog);
    for (std::string line; std::getline(simLines, line);)
      requests += line.find("set-ip request #") != std::string::npos && line.find(" from ") != std::string::npos;
    EXPECT_EQ(requests, row.requests) << result.simLog;
  }
}

// Separators and escapes all through, so the encoded form grows well past the text.
std::string LongPassword() {
  std::string text;
  for (int i = 0; text.size() < 10000; ++i)
    text += "x&y=%" + std::to_string(i % 10);
  text.resize(10000);
  return text;
}

// The box's own form parser must read back exactly the fields we meant.
TEST(ExecuteConfigIPCore, HostileValuesReachTheBoxUnchanged) {
  struct Row {
    const char* name;
    std::string password;
    std::string gateway;
  };
  const Row rows[] = {
      {"field separator", "a&ip=1.2.3.4", ""},
      {"percent escape lookalike", "50%41", ""},
      {"plus", "+", ""},
      {"equals", "=", ""},
      {"lone percent and blank", "% a b", ""},
      {"quotes and backslash", "\"'\\", ""},
      {"non-ASCII", "p\xC3\xA4ss\xE5\xAF\x86", ""},
      {"empty", "", ""},
      {"with a gateway", "admin", "192.0.2.1"},
      {"10000 characters, a form body over 8 KiB", LongPassword(), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CONFIG_IP_DATA data = DefaultData();
    data.strPassword = platform::Utf8ToUtf16(row.password);
    data.strGateway = platform::Utf8ToUtf16(row.gateway);
    Result result = Exchange({"--password", row.password, "--echo-form"}, data);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.code, 200);
    Json::Value fields;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    ASSERT_TRUE(reader->parse(result.message.data(), result.message.data() + result.message.size(), &fields, &errors))
        << result.message;
    std::vector<std::string> names = fields.getMemberNames();
    std::vector<std::string> expected = {"ip", "netmask", "password", "username"};
    if (!row.gateway.empty())
      expected = {"gateway", "ip", "netmask", "password", "username"};
    EXPECT_EQ(names, expected);
    auto one = [&fields](const char* name) {
      const Json::Value& values = fields[name];
      return values.size() == 1 ? values[0].asString() : "<" + std::to_string(values.size()) + " values>";
    };
    EXPECT_EQ(one("password"), row.password);
    EXPECT_EQ(one("username"), "admin");
    EXPECT_EQ(one("ip"), "192.0.2.30");
    EXPECT_EQ(one("netmask"), "255.255.255.0");
    if (!row.gateway.empty()) {
      EXPECT_EQ(one("gateway"), row.gateway);
    }
    // The password and the body stay out of our log and the box's.
    for (const std::string& line : result.log)
      EXPECT_THAT(line, ::testing::Not(HasSubstr("password=")));
    EXPECT_THAT(result.simLog, ::testing::Not(HasSubstr("password=")));
  }
}

}  // namespace
