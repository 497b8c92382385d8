// The internet library the HTTP engine is written against, on libcurl:
// session, connection and request objects, a send step that returns once the
// reply header is in, and pull reads that take the body as it arrives.
//
// Failures leave the internet-library codes of platform/LastError.h as the
// thread's last error:
//   12005 invalid URL (bad host, path or verb), 12006 scheme not supported,
//   12007 name not resolved, 12029 cannot connect, 12002 time-out,
//   12030 connection aborted (closed early, send failed),
//   12031 connection reset (receive failed), 12152 bad reply,
//   12045 certificate not trusted, 12038 certificate name mismatch,
//   12157 TLS failure, 12004 anything else.
//
// Time-outs (the library's defaults, used when no option says otherwise):
//   60 s to connect, then 30 s for sending the request and receiving the
//   whole reply header. INTERNET_OPTION_RECEIVE_TIMEOUT set on a request
//   governs its body reads: a read fails with 12002 when no byte arrives for
//   that long.
//
// Proxy: access type 0 (preconfigured) uses the http_proxy / https_proxy /
// all_proxy / no_proxy environment as libcurl reads it; 1 (direct) uses none;
// 3 uses the named proxy ("host:port", or a WinINet-style list such as
// "http=host:port https=host:port", of which the entry for the scheme, else
// the first one, is taken). Nothing is cached. Secure requests use https with
// the peer's certificate and name checked; SECURITY_FLAG_IGNORE_UNKNOWN_CA is
// stored but never lowers the checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;

constexpr uint32_t INTERNET_SERVICE_HTTP = 3;
constexpr uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;

constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000;
constexpr uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;

constexpr uint32_t INTERNET_OPTION_SECURITY_FLAGS = 31;
constexpr uint32_t INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr uint32_t INTERNET_OPTION_PROXY_USERNAME = 43;
constexpr uint32_t INTERNET_OPTION_PROXY_PASSWORD = 44;

constexpr uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;

constexpr uint32_t kDefaultConnectTimeoutMs = 60000;
constexpr uint32_t kDefaultReplyHeaderTimeoutMs = 30000;
// Raw header blocks are handed out in buffers of this many bytes at most.
constexpr uint32_t kMaxRawHeaderBytes = 10240;

class InternetSession;
class InternetConnection;
class InternetRequest;

struct SessionDeleter { void operator()(InternetSession* p) const; };
struct ConnectionDeleter { void operator()(InternetConnection* p) const; };
struct RequestDeleter { void operator()(InternetRequest* p) const; };
using SessionHandle = std::unique_ptr<InternetSession, SessionDeleter>;
using ConnectionHandle = std::unique_ptr<InternetConnection, ConnectionDeleter>;
using RequestHandle = std::unique_ptr<InternetRequest, RequestDeleter>;

// Null with 12009 for an unknown access type, or 3 without a proxy.
SessionHandle InternetOpen(const std::u16string& agent, uint32_t accessType,
                           const std::u16string& proxy, const std::u16string& proxyBypass,
                           uint32_t flags);
// Does not contact the server; the host is checked when a request is sent.
// Port 0 means the scheme's default port.
ConnectionHandle InternetConnect(InternetSession* session, const std::u16string& server,
                                 uint16_t port, uint32_t service, uint32_t flags);
// Null with 12005 for an empty or malformed verb or a path not starting with "/".
RequestHandle HttpOpenRequest(InternetConnection* connection, const std::u16string& verb,
                              const std::u16string& objectPath, uint32_t flags);
// Closes and nulls the handle; false (12018) when it is null.
bool InternetCloseHandle(SessionHandle& handle);
bool InternetCloseHandle(ConnectionHandle& handle);
bool InternetCloseHandle(RequestHandle& handle);

// Sends the request (headers: lines joined by CR LF) and waits for the reply
// header. A request may be sent again; the earlier reply is dropped.
bool HttpSendRequest(InternetRequest* request, const std::u16string& headers,
                     const void* body, uint32_t bodyLength);
// The numeric status code of the reply; code is left as it was on failure.
bool HttpQueryStatusCode(InternetRequest* request, uint32_t& code);
// The status line and header lines of the reply, each ending in CR LF, then
// an empty line, zero-terminated. bufferBytes holds the buffer's size in bytes
// and receives the bytes written without the terminator. When the buffer is
// too small it fails with ERROR_INSUFFICIENT_BUFFER, leaves the buffer as it
// was and sets bufferBytes to the size needed.
bool HttpQueryRawHeaders(InternetRequest* request, char16_t* buffer, uint32_t& bufferBytes);

bool InternetSetOption(InternetRequest* request, uint32_t option, uint32_t value);
bool InternetSetOption(InternetRequest* request, uint32_t option, const std::u16string& text);
bool InternetQueryOption(InternetRequest* request, uint32_t option, uint32_t& value);

// Reads up to size bytes of the body (waiting for them as the receive
// time-out allows); bytesRead is 0 at the end of the body.
bool InternetReadFile(InternetRequest* request, void* buffer, uint32_t size, uint32_t& bytesRead);

// The error code and text of this thread's last failed transfer; false when
// there is none.
bool InternetGetLastResponseInfo(uint32_t& error, std::u16string& text);

// Test seam: a nonzero value replaces the connect and reply-header time-outs,
// and caps every receive time-out; 0 restores the real ones.
void SetInternetTimeoutsForTest(uint32_t connectMs, uint32_t replyHeaderMs, uint32_t receiveCapMs);

}  // namespace platform
