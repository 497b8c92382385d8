#include "http/ConfigIP.h"

#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <exception>

#include "global/QenGlobal.h"
#include "global/TextCodec.h"
#include "global/TextUtils.h"
#include "http/QenHttpFormData.h"
#include "http/QenHttpServer.h"

namespace {

std::atomic<uint16_t> g_port{0};

enum class ParseResult { kNotJson, kBadCode, kBadMessage, kOk };

// JSON numbers with a fraction or exponent come back as real values even when
// they are whole (200.0, 2e2): only values read as integers count.
bool IsJsonInt32(const Json::Value& value) {
  return (value.type() == Json::intValue || value.type() == Json::uintValue) && value.isInt();
}

ParseResult ParseReply(const std::string& utf8, int32_t& code, std::string& message) {
  try {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::Reader reader;
#pragma GCC diagnostic pop
    Json::Value root;
    std::string text(utf8.c_str());  // up to the first zero byte
    if (!reader.parse(text, root))
      return ParseResult::kNotJson;
    Json::Value returnCode;
    Json::Value returnMessage;
    if (root.isObject()) {
      returnCode = root.get("return_code", Json::Value());
      returnMessage = root.get("return_message", Json::Value());
    }
    if (!IsJsonInt32(returnCode))
      return ParseResult::kBadCode;
    if (!returnMessage.isString())
      return ParseResult::kBadMessage;
    code = returnCode.asInt();
    message = returnMessage.asString();
    return ParseResult::kOk;
  } catch (const std::exception&) {
    // The reader throws on some hostile input (nesting too deep).
    return ParseResult::kNotJson;
  }
}

}  // namespace

void SetConfigIPPort(uint16_t port) { g_port = port; }

bool ExecuteConfigIPCore(CONFIG_IP_DATA data, int32_t& nReturnCode, std::u16string& strMessage) {
  class CTempProgress : public IQenHttpProgress {
  public:
    int32_t OnProgress(int32_t, int32_t, int32_t) override { return 0; }
    int32_t ReservedNotify(int32_t) override { return 0; }
  };

  CQenHttpFormData form;
  form.AddField(u"username", data.strUserName);
  form.AddField(u"password", data.strPassword);
  form.AddField(u"ip", data.strIP);
  form.AddField(u"netmask", data.strSubnetMask);
  if (!data.strGateway.empty())
    form.AddField(u"gateway", data.strGateway);

  CQenHttpServer server(data.strBoxIP);
  if (uint16_t port = g_port.load(); port != 0)
    server.m_nPort = port;
  if (!server.Open()) {
    strMessage = FormatText(u"Can't connect to: %1", data.strBoxIP);
    return false;
  }
  std::u16string text;
  std::u16string headers;
  CTempProgress progress;
  if (!server.RequestAsText(u"POST", kSetIpPath, form, text, headers, &progress)) {
    QenGlobal().WriteLog(headers, 0);
    QenGlobal().WriteLog(text, 0);
    strMessage = FormatText(u"Can't send config request to %1", kSetIpPath);
    return false;
  }

  return CheckConfigIPReply(text, nReturnCode, strMessage);
}

bool CheckConfigIPReply(const std::u16string& strText, int32_t& nReturnCode, std::u16string& strMessage) {
  int32_t code = 0;
  std::string message;
  switch (ParseReply(TextToUtf8(strText), code, message)) {
    case ParseResult::kNotJson:
      strMessage = FormatText(u"Can't parse response: %1", strText);
      return false;
    case ParseResult::kBadCode:
      strMessage = FormatText(u"Return code is not integer: %1", strText);
      return false;
    case ParseResult::kBadMessage:
      strMessage = FormatText(u"Return message is not string: %1", strText);
      return false;
    case ParseResult::kOk:
      break;
  }
  nReturnCode = code;
  strMessage = Utf8ToText(message);
  if (nReturnCode == 200)
    return true;
  QenGlobal().WriteLog(FormatText(u"Can't change ip address of qenbox: %1", strMessage), 0);
  return false;
}
