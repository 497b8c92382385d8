#include "http/QenHttpServer.h"

#include <algorithm>
#include <vector>

#include "global/ErrorText.h"
#include "global/QenGlobal.h"
#include "global/TextCodec.h"
#include "global/TextUtils.h"
#include "http/QenHttpFormData.h"
#include "platform/ByteStream.h"
#include "platform/LastError.h"

namespace {

void Log(std::u16string_view text) { QenGlobal().WriteLog(text, 0); }

std::u16string CodeText(uint32_t code) { return IntToText(static_cast<int32_t>(code)); }

// Leading decimal digits (an optional sign first), saturating; 0 when none.
int32_t LeadingInt(const std::u16string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > INT32_MAX)
      return negative ? INT32_MIN : INT32_MAX;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  SplitText(text, u'\n', lines);
  return lines;
}

constexpr uint32_t kBodyTimeoutMs = 120000;
constexpr int kMaxProxyAttempts = 3;
constexpr size_t kMaxCredentialChars = 259;

}  // namespace

CQenHttpServer::CQenHttpServer(const std::u16string& strServer) {
  Init(u"QenBoxClient", platform::INTERNET_OPEN_TYPE_PRECONFIG, u"", 0, strServer.c_str(),
       platform::INTERNET_DEFAULT_HTTP_PORT);
}

CQenHttpServer::~CQenHttpServer() { Close(); }

void CQenHttpServer::SetReservedStatus(int32_t nCode, const std::u16string& strText) {
  m_nReservedCode = nCode;
  m_strReservedText = strText;
}

bool CQenHttpServer::Init(const std::u16string& strAgent, uint32_t dwAccessType, const std::u16string& strProxy,
                          uint32_t dwOpenFlags, const char16_t* pszServer, uint16_t nPort) {
  m_strAgent = strAgent;
  m_dwAccessType = dwAccessType;
  m_strProxy = strProxy;
  m_dwOpenFlags = dwOpenFlags;
  m_strServer = pszServer != nullptr ? std::u16string(pszServer) : std::u16string();
  m_nPort = nPort;
  m_nReservedCode = 0;
  return true;
}

bool CQenHttpServer::Open() {
  if (m_strAgent.empty()) {
    Log(u"Data not initialized!");
    return false;
  }
  std::u16string proxy;
  if (!m_strProxy.empty()) {
    m_dwAccessType = platform::INTERNET_OPEN_TYPE_PROXY;
    proxy = m_strProxy;
  }
  platform::SetLastError(platform::ERROR_SUCCESS);
  m_hSession = platform::InternetOpen(m_strAgent, m_dwAccessType, proxy, u"", m_dwOpenFlags);
  if (!m_hSession) {
    uint32_t code = platform::GetLastError();
    Log(FormatText(u"Failed to call InternetOpen: %1, %2", CodeText(code), code != 0 ? GetErrorText(code) : u""));
    Close();
    return false;
  }
  m_hConnection = platform::InternetConnect(m_hSession.get(), m_strServer, m_nPort, platform::INTERNET_SERVICE_HTTP, 0);
  if (!m_hConnection) {
    uint32_t code = platform::GetLastError();
    Log(FormatText(u"Failed to call InternetConnect: %1, %2", CodeText(code), code != 0 ? GetErrorText(code) : u""));
    Close();
    return false;
  }
  return true;
}

bool CQenHttpServer::Close() {
  if (m_hConnection) {
    if (!platform::InternetCloseHandle(m_hConnection))
      Log(u"Failed to close connection");
    m_hConnection.reset();
  }
  if (m_hSession) {
    if (!platform::InternetCloseHandle(m_hSession))
      Log(u"Failed to close session");
    m_hSession.reset();
  }
  return true;
}

bool CQenHttpServer::SendRequest(const std::u16string& strVerb, const std::u16string& strObject,
                                 CQenHttpFormDataBase& data, CByteStream& stream, std::u16string& strHeaders,
                                 IQenHttpProgress* progress) {
  uint32_t flags = platform::INTERNET_FLAG_NO_CACHE_WRITE;
  if (m_bSecure)
    flags |= platform::INTERNET_FLAG_SECURE;
  platform::SetLastError(platform::ERROR_SUCCESS);
  platform::RequestHandle hRequest = platform::HttpOpenRequest(m_hConnection.get(), strVerb, strObject, flags);
  if (!hRequest) {
    Log(FormatText(u"HttpOpenRequest failed: %1", GetLastErrorText()));
    return false;
  }
  bool ok = false;
  int proxyAttempts = 0;
  for (;;) {
    if (!data.SendRequest(hRequest.get(), progress)) {
      Log(u"Failed to call data.SendRequest()!");
      break;
    }
    uint32_t status = 0;
    platform::HttpQueryStatusCode(hRequest.get(), status);
    if (status == 407) {
      if (!SetProxyCredentials(hRequest.get()))
        Log(u"Failed to set proxy settings");
      if (++proxyAttempts < kMaxProxyAttempts)
        continue;
      break;
    }
    std::vector<char16_t> buffer(platform::kMaxRawHeaderBytes / 2, u'\0');
    uint32_t bufferBytes = platform::kMaxRawHeaderBytes;
    platform::HttpQueryRawHeaders(hRequest.get(), buffer.data(), bufferBytes);
    strHeaders.assign(buffer.data());
    int32_t code = 200;
    GetStatusCode(strHeaders, code);
    int32_t length = 0;
    GetContentLength(strHeaders, length);
    if (QenHttpReadResponse(hRequest.get(), stream, length, progress) && code < 400) {
      ok = true;
    } else {
      Log(u"Failed to call QenHttpReadResponse()!");
    }
    break;
  }
  if (!platform::InternetCloseHandle(hRequest)) {
    Log(u"InternetCloseHandle failed");
    return false;
  }
  if (ok)
    return true;
  Log(FormatText(u"Failed to send request: %1", strObject));
  return false;
}

bool CQenHttpServer::SetProxyCredentials(platform::InternetRequest* hRequest) {
  if (hRequest == nullptr)
    return false;
  Log(FormatText(u"Set proxy user name: %1", m_strProxyUserName));
  if (!m_strProxyUserName.empty()) {
    if (m_strProxyUserName.size() > kMaxCredentialChars ||
        !platform::InternetSetOption(hRequest, platform::INTERNET_OPTION_PROXY_USERNAME, m_strProxyUserName)) {
      Log(u"Failed to set proxy user name");
      return false;
    }
  }
  if (m_strProxyPassword.empty()) {
    Log(u"No proxy password");
    return true;
  }
  Log(u"Set proxy password: ******");
  if (m_strProxyPassword.size() > kMaxCredentialChars ||
      !platform::InternetSetOption(hRequest, platform::INTERNET_OPTION_PROXY_PASSWORD, m_strProxyPassword)) {
    Log(u"Failed to set proxy user name");
    return false;
  }
  return true;
}

bool QenHttpReadResponse(platform::InternetRequest* hRequest, CByteStream& stream, int32_t nTotal,
                         IQenHttpProgress* progress) {
  if (!platform::InternetSetOption(hRequest, platform::INTERNET_OPTION_SEND_TIMEOUT, kBodyTimeoutMs))
    Log(FormatText(u"Failed to set INTERNET_OPTION_SEND_TIMEOUT, GetLastError()=%1", CodeText(platform::GetLastError())));
  if (!platform::InternetSetOption(hRequest, platform::INTERNET_OPTION_RECEIVE_TIMEOUT, kBodyTimeoutMs))
    Log(FormatText(u"Failed to set INTERNET_OPTION_RECEIVE_TIMEOUT, GetLastError()=%1",
                   CodeText(platform::GetLastError())));
  int64_t total = 0;
  for (;;) {
    char buffer[1024] = {};
    uint32_t read = 0;
    if (!platform::InternetReadFile(hRequest, buffer, sizeof buffer, read)) {
      uint32_t code = platform::GetLastError();
      Log(FormatText(u"GetLastError()=%1", CodeText(code)));
      uint32_t infoError = 0;
      std::u16string info;
      if (platform::InternetGetLastResponseInfo(infoError, info))
        Log(FormatText(u"InternetGetLastResponseInfo=%1, %2", CodeText(infoError), info));
      Log(u"InternetReadFile failed");
      return false;
    }
    if (read != 0 && stream.Write(buffer, read) != read) {
      Log(u"StreamWrite failed");
      return false;
    }
    total = std::min<int64_t>(total + read, INT32_MAX);
    if (progress != nullptr)
      progress->OnProgress(static_cast<int32_t>(total), nTotal, 0);
    if (read == 0)
      return true;
  }
}

std::u16string GetHeaderValue(const std::u16string& strHeaders, const std::u16string& strName) {
  std::u16string copy = strHeaders;
  std::replace(copy.begin(), copy.end(), u':', u'=');
  return GetLineValue(SplitLines(copy), strName);
}

bool GetStatusCode(const std::u16string& strHeaders, int32_t& nCode) {
  for (const std::u16string& line : SplitLines(strHeaders)) {
    size_t blank = line.find(u' ');
    if (blank == std::u16string::npos)
      continue;
    nCode = LeadingInt(TrimText(std::u16string_view(line).substr(blank + 1)));
    return true;
  }
  return false;
}

bool GetContentLength(const std::u16string& strHeaders, int32_t& nLength) {
  std::u16string value = TrimText(GetHeaderValue(strHeaders, u"Content-Length"));
  if (value.empty())
    return false;
  nLength = LeadingInt(value);
  return nLength != 0;
}

bool GetContentType(const std::u16string& strHeaders, std::u16string& strType, std::u16string& strCharset) {
  std::u16string value = GetHeaderValue(strHeaders, u"Content-Type");
  if (value.empty())
    return false;
  std::vector<std::u16string> items;
  SplitText(value, u';', items);
  strType = items.empty() ? std::u16string() : TrimText(items.front());
  strCharset = GetLineValue(items, u"charset");
  return true;
}

bool CQenHttpServer::RequestAsText(const std::u16string& strVerb, const std::u16string& strObject,
                                   CQenHttpFormDataBase& data, std::u16string& strText, std::u16string& strHeaders,
                                   IQenHttpProgress* progress) {
  CByteStream stream;
  // A hostile server must not make us hold more than a reply can need.
  stream.SetLimit(kMaxReplyBodyBytes);
  if (!SendRequest(strVerb, strObject, data, stream, strHeaders, progress)) {
    Log(FormatText(u"SendRequest failed: %1", strObject));
    return false;
  }
  return DecodeReplyBody(strHeaders, m_strDefaultCharset, stream, strText);
}

bool DecodeReplyBody(const std::u16string& strHeaders, const std::u16string& strDefaultCharset,
                     CByteStream& stream, std::u16string& strText) {
  std::u16string type;
  std::u16string charset;
  GetContentType(strHeaders, type, charset);

  std::u16string text;
  bool decoded = true;
  auto general = [&] { return stream.Seek(0) && LoadTextFromStream(stream, text); };
  if (EqualsNoCase(charset, u"unicode")) {
    decoded = general();
  } else {
    if (charset.empty())
      charset = strDefaultCharset;
    bool html = EqualsNoCase(type, u"text/html");
    bool xml = EqualsNoCase(type, u"text/xml") || EqualsNoCase(type, u"application/json");
    if (html || xml) {
      const char* bytes = reinterpret_cast<const char*>(stream.Data());
      std::string narrow(bytes, std::find(bytes, bytes + stream.Size(), '\0'));
      if (!charset.empty())
        text = CharsetToText(charset, narrow);
      else if (html)
        DecodeHtmlText(narrow, text);
      else
        DecodeXmlText(narrow, text);
    } else {
      decoded = general();
    }
  }
  if (!decoded)
    return false;
  strText = std::move(text);
  return true;
}
