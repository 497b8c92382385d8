// An HTTP session with one web server: one request at a time, the reply's raw
// header block and its body bytes handed to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Internet.h"

class CByteStream;
class CQenHttpFormDataBase;

// Told how many body bytes have arrived.
class IQenHttpProgress {
public:
  virtual int32_t OnProgress(int32_t nRead, int32_t nTotal, int32_t nReserved) = 0;
  virtual int32_t ReservedNotify(int32_t nValue) = 0;

protected:
  ~IQenHttpProgress() = default;
};

// Reply bodies RequestAsText takes at most; a longer one fails the request.
constexpr size_t kMaxReplyBodyBytes = 1024 * 1024;

class CQenHttpServer {
public:
  explicit CQenHttpServer(const std::u16string& strServer);
  CQenHttpServer(const CQenHttpServer&) = delete;
  CQenHttpServer& operator=(const CQenHttpServer&) = delete;
  virtual ~CQenHttpServer();
  virtual void SetReservedStatus(int32_t nCode, const std::u16string& strText);

  bool Init(const std::u16string& strAgent, uint32_t dwAccessType, const std::u16string& strProxy,
            uint32_t dwOpenFlags, const char16_t* pszServer, uint16_t nPort);
  bool Open();
  bool Close();
  // On success the stream holds the body and strHeaders the raw header block.
  // progress may be null.
  bool SendRequest(const std::u16string& strVerb, const std::u16string& strObject, CQenHttpFormDataBase& data,
                   CByteStream& stream, std::u16string& strHeaders, IQenHttpProgress* progress);
  bool SetProxyCredentials(platform::InternetRequest* hRequest);
  // The reply body decoded by its Content-Type and charset.
  bool RequestAsText(const std::u16string& strVerb, const std::u16string& strObject, CQenHttpFormDataBase& data,
                     std::u16string& strText, std::u16string& strHeaders, IQenHttpProgress* progress);

  std::u16string m_strAgent;
  uint32_t m_dwAccessType = platform::INTERNET_OPEN_TYPE_PRECONFIG;
  std::u16string m_strProxy;
  std::u16string m_strProxyUserName;
  std::u16string m_strProxyPassword;
  uint32_t m_dwOpenFlags = 0;
  std::u16string m_strServer;
  uint16_t m_nPort = platform::INTERNET_DEFAULT_HTTP_PORT;
  platform::SessionHandle m_hSession;
  platform::ConnectionHandle m_hConnection;
  bool m_bSecure = false;
  int32_t m_nReservedCode = 0;
  std::u16string m_strReservedText;
  std::u16string m_strDefaultCharset;
};

// Reads the whole body into the stream; progress may be null.
bool QenHttpReadResponse(platform::InternetRequest* hRequest, CByteStream& stream, int32_t nTotal,
                         IQenHttpProgress* progress);
// Value of the header "name:" in a raw header block; empty when absent.
std::u16string GetHeaderValue(const std::u16string& strHeaders, const std::u16string& strName);
// Code after the first blank of the first line that has one; false (code
// unchanged) when no line has a blank.
bool GetStatusCode(const std::u16string& strHeaders, int32_t& nCode);
// False when there is no Content-Length (length unchanged) or it reads as 0.
bool GetContentLength(const std::u16string& strHeaders, int32_t& nLength);
// Type and charset of the Content-Type header; false when there is none.
bool GetContentType(const std::u16string& strHeaders, std::u16string& strType, std::u16string& strCharset);
// The reply body in the stream decoded by the header block's Content-Type and
// charset (strDefaultCharset when it names none), as RequestAsText does; false
// (text unchanged) when the bytes cannot be read back.
bool DecodeReplyBody(const std::u16string& strHeaders, const std::u16string& strDefaultCharset,
                     CByteStream& stream, std::u16string& strText);
