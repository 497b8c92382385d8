#include "platform/LastError.h"

#include <cstring>

#include "platform/Utf.h"

namespace platform {

namespace {

thread_local uint32_t t_lastError = ERROR_SUCCESS;

struct MessageEntry {
  uint32_t code;
  const char16_t* text;
};

// Our own wording for the codes that have no errno counterpart.
constexpr MessageEntry kMessages[] = {
    {ERROR_NO_UNICODE_TRANSLATION,
     u"No mapping for the Unicode character exists in the target multi-byte code page."},
    {ERROR_INTERNET_OUT_OF_HANDLES, u"No more internet handles could be generated"},
    {ERROR_INTERNET_TIMEOUT, u"The operation timed out"},
    {ERROR_INTERNET_EXTENDED_ERROR, u"An extended error was returned from the server"},
    {ERROR_INTERNET_INTERNAL_ERROR, u"An internal error occurred"},
    {ERROR_INTERNET_INVALID_URL, u"The URL is invalid"},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, u"The URL does not use a recognized protocol"},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, u"The server name or address could not be resolved"},
    {ERROR_INTERNET_INVALID_OPTION, u"An invalid option value was given"},
    {ERROR_INTERNET_OPERATION_CANCELLED, u"The operation was cancelled"},
    {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, u"The handle is of the wrong type for this operation"},
    {ERROR_INTERNET_INCORRECT_HANDLE_STATE, u"The handle is in the wrong state for this operation"},
    {ERROR_INTERNET_CANNOT_CONNECT, u"A connection with the server could not be established"},
    {ERROR_INTERNET_CONNECTION_ABORTED, u"The connection with the server was terminated abnormally"},
    {ERROR_INTERNET_CONNECTION_RESET, u"The connection with the server was reset"},
    {ERROR_INTERNET_FORCE_RETRY, u"The request must be sent again"},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, u"The server certificate has expired or is not yet valid"},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, u"The server certificate name does not match the host name"},
    {ERROR_INTERNET_INVALID_CA, u"The server certificate was issued by an unknown authority"},
    {ERROR_HTTP_HEADER_NOT_FOUND, u"The requested header could not be found"},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, u"The server response could not be parsed"},
    {ERROR_HTTP_REDIRECT_FAILED, u"The redirection failed"},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, u"A secure channel error occurred"},
};

}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t code) { t_lastError = code; }

std::u16string FormatMessage(uint32_t code) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.code == code) {
      return std::u16string(entry.text) + u"\r\n";
    }
  }
  if (code >= 1 && code <= 4095) {
    // strerrordesc_np is the untranslated text and gives null where strerror
    // would invent "Unknown error N".
    const char* text = strerrordesc_np(static_cast<int>(code));
    if (text != nullptr && *text != '\0') {
      return Utf8ToUtf16(text) + u"\r\n";
    }
  }
  return {};
}

}  // namespace platform
