// A thread-local "last error" value in the numbering the rest of the program
// expects: errno values for system calls, 1113 for invalid characters in a code
// page conversion, and the 12xxx internet-library codes of the HTTP layer.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_NO_UNICODE_TRANSLATION = 1113;

// Internet-library codes set by the HTTP stand-in.
constexpr uint32_t ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr uint32_t ERROR_INTERNET_TIMEOUT = 12002;
constexpr uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr uint32_t ERROR_INTERNET_INVALID_URL = 12005;
constexpr uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr uint32_t ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr uint32_t ERROR_INTERNET_FORCE_RETRY = 12032;
constexpr uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr uint32_t ERROR_INTERNET_INVALID_CA = 12045;
constexpr uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
constexpr uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;

uint32_t GetLastError();
void SetLastError(uint32_t code);

// The system's message text for a code, ending in "\r\n" as system texts do;
// empty when there is none. Codes 1..4095 are errno values (strerror), the
// 12xxx codes and 1113 come from our own table.
std::u16string FormatMessage(uint32_t code);

}  // namespace platform
