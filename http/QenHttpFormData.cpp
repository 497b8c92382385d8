#include "http/QenHttpFormData.h"

#include "global/ErrorText.h"
#include "global/QenGlobal.h"
#include "global/TextCodec.h"
#include "global/TextUtils.h"
#include "platform/LastError.h"
#include "platform/Utf.h"

namespace {

constexpr int kMaxSendAttempts = 3;

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string EscapeValue(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    }
  }
  return out;
}

}  // namespace

void CQenHttpFormDataBase::SetHeader(const std::u16string& strName, const char16_t* pszValue) {
  m_mapHeaders[strName] = pszValue != nullptr ? std::u16string(pszValue) : std::u16string();
}

std::u16string CQenHttpFormDataBase::GetHeaders() {
  std::u16string text;
  for (const auto& [name, value] : m_mapHeaders) {
    if (!text.empty())
      text += u"\r\n";
    text += name + u": " + value;
  }
  return TrimText(text);
}

const void* CQenHttpFormDataBase::GetReservedData() { return nullptr; }

std::u16string CQenHttpFormDataBase::GetReservedText() { return std::u16string(); }

bool CQenHttpFormData::AddField(const std::u16string& strName, const std::u16string& strValue) {
  std::string escaped = EscapeValue(TextToUtf8(strValue));
  // Names are the program's own ASCII words.
  std::string name = platform::Utf16ToUtf8(strName);
  if (!m_strBody.empty())
    m_strBody += '&';
  m_strBody += name;
  m_strBody += '=';
  m_strBody += escaped;
  return true;
}

std::u16string CQenHttpFormData::GetRequestHeaders() {
  std::u16string headers = u"Content-Type: application/x-www-form-urlencoded\r\n";
  std::u16string extra = GetHeaders();
  if (!extra.empty())
    headers += extra + u"\r\n";
  return headers;
}

bool CQenHttpFormData::SendRequest(platform::InternetRequest* hRequest, IQenHttpProgress* /*progress*/) {
  std::u16string headers = GetRequestHeaders();
  const void* body = m_strBody.empty() ? nullptr : m_strBody.data();
  auto length = static_cast<uint32_t>(m_strBody.size());
  for (int attempt = 0; attempt < kMaxSendAttempts; ++attempt) {
    platform::SetLastError(platform::ERROR_SUCCESS);
    if (platform::HttpSendRequest(hRequest, headers, body, length))
      return true;
    uint32_t code = platform::GetLastError();
    if (code == platform::ERROR_INTERNET_FORCE_RETRY)
      continue;
    if (code == platform::ERROR_INTERNET_INVALID_CA) {
      uint32_t flags = 0;
      platform::InternetQueryOption(hRequest, platform::INTERNET_OPTION_SECURITY_FLAGS, flags);
      flags |= platform::SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      platform::InternetSetOption(hRequest, platform::INTERNET_OPTION_SECURITY_FLAGS, flags);
      continue;
    }
    QenGlobal().WriteLog(FormatText(u"HttpSendRequest failed: %1, %2", IntToText(static_cast<int32_t>(code)),
                                    GetErrorText(code)),
                         0);
    return false;
  }
  return false;
}
