#include "platform/Internet.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/LastError.h"
#include "platform/Utf.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct CurlEasyDeleter { void operator()(CURL* p) const { curl_easy_cleanup(p); } };
struct CurlMultiDeleter { void operator()(CURLM* p) const { curl_multi_cleanup(p); } };
struct CurlUrlDeleter { void operator()(CURLU* p) const { curl_url_cleanup(p); } };
struct CurlSlistDeleter { void operator()(curl_slist* p) const { curl_slist_free_all(p); } };
struct CurlTextDeleter { void operator()(char* p) const { curl_free(p); } };
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

// Body bytes held between pulls; beyond this the transfer is paused.
constexpr size_t kMaxPendingBody = 64 * 1024;
// A reply header that keeps growing past this is not a reply.
constexpr size_t kMaxHeaderFlood = 64 * 1024;
// Raw header text kept for queries: what fits the largest buffer handed out.
constexpr size_t kMaxKeptHeaderChars = kMaxRawHeaderBytes / 2 - 1;

std::atomic<uint32_t> g_testConnectMs{0};
std::atomic<uint32_t> g_testReplyHeaderMs{0};
std::atomic<uint32_t> g_testReceiveCapMs{0};

struct LastResponse {
  bool valid = false;
  uint32_t error = 0;
  std::string text;
};
thread_local LastResponse t_lastResponse;

void Fail(uint32_t code, const std::string& text) {
  t_lastResponse.valid = true;
  t_lastResponse.error = code;
  t_lastResponse.text = text;
  SetLastError(code);
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

uint32_t ConnectTimeoutMs() {
  uint32_t t = g_testConnectMs.load();
  return t != 0 ? t : kDefaultConnectTimeoutMs;
}

uint32_t ReplyHeaderTimeoutMs() {
  uint32_t t = g_testReplyHeaderMs.load();
  return t != 0 ? t : kDefaultReplyHeaderTimeoutMs;
}

uint32_t MapCurlCode(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // also an HTTP/0.9 reply
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_WRITE_ERROR:  // our header callback refused a header flood
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_USE_SSL_FAILED:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A plain host name or dotted IPv4 address, nothing a URL parser could read
// as more (user info, port, path, query, escapes) or rewrite (short or octal
// IPv4 forms).
bool IsPlainHost(const std::string& host) {
  if (host.empty() || host.size() > 253)
    return false;
  std::vector<std::string> labels;
  size_t start = 0;
  for (;;) {
    size_t dot = host.find('.', start);
    labels.push_back(host.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos)
      break;
    start = dot + 1;
  }
  bool allDigits = std::all_of(labels.begin(), labels.end(), IsDigits);
  if (allDigits) {
    if (labels.size() != 4)
      return false;
    for (const std::string& l : labels) {
      if (l.size() > 3 || (l.size() > 1 && l[0] == '0') || std::stoi(l) > 255)
        return false;
    }
    return true;
  }
  for (const std::string& l : labels) {
    if (l.empty() || l.size() > 63 || l.front() == '-' || l.back() == '-')
      return false;
    for (char c : l) {
      bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
      if (!ok)
        return false;
    }
  }
  // A name whose last label is a number is read as an IPv4 address by URL parsers.
  const std::string& last = labels.back();
  if (IsDigits(last) || (last.size() > 1 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X')))
    return false;
  return true;
}

bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return true;
  return std::strchr("!#$%&'*+.^_`|~-", c) != nullptr && c != '\0';
}

// Visible ASCII without "#"; the query starts at the first "?".
bool IsPlainPath(const std::string& path) {
  if (path.empty() || path[0] != '/')
    return false;
  return std::all_of(path.begin(), path.end(), [](char c) { return c > 0x20 && c < 0x7f && c != '#'; });
}

std::string CasefoldAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Picks the proxy for a scheme from a WinINet-style list.
std::string PickProxy(const std::string& list, const std::string& scheme) {
  std::string first;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find_first_of(" ;\t", pos);
    std::string item = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? list.size() : end + 1;
    if (item.empty())
      continue;
    size_t eq = item.find('=');
    if (eq == std::string::npos) {
      if (first.empty())
        first = item;
    } else if (CasefoldAscii(item.substr(0, eq)) == scheme) {
      return item.substr(eq + 1);
    }
  }
  return first;
}

std::string BypassToNoProxy(const std::string& list) {
  std::string out;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find_first_of(" ;\t,", pos);
    std::string item = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? list.size() : end + 1;
    if (item.empty() || item == "<local>")
      continue;
    if (!out.empty())
      out += ',';
    out += item;
  }
  return out;
}

void Wipe(std::string& s) {
  volatile char* p = s.empty() ? nullptr : &s[0];
  for (size_t i = 0; i < s.size(); ++i)
    p[i] = 0;
  s.clear();
}

}  // namespace

struct SessionSettings {
  std::string agent;
  uint32_t accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;
  std::string bypass;
};

class InternetSession {
public:
  std::shared_ptr<const SessionSettings> settings;
};

class InternetConnection {
public:
  std::shared_ptr<const SessionSettings> settings;
  std::u16string server;
  uint16_t port = 0;
};

class InternetRequest {
public:
  ~InternetRequest() {
    ResetTransfer();
    Wipe(proxyPassword);
  }

  void ResetTransfer() {
    if (easy && multi)
      curl_multi_remove_handle(multi.get(), easy.get());
    easy.reset();
    url.reset();
    headerList.reset();
    rawHeaders.clear();
    headerBytes = 0;
    headerOversize = false;
    headersDone = false;
    pending.clear();
    pendingPos = 0;
    received = 0;
    paused = false;
    done = false;
    result = CURLE_OK;
    errorBuffer[0] = '\0';
  }

  // Runs the transfer until the predicate holds, the transfer ends or the
  // deadline passes; false only for the deadline.
  template <class Pred>
  bool Pump(Pred ready, Clock::time_point deadline, bool watchConnect, uint32_t headerMs) {
    for (;;) {
      int running = 0;
      curl_multi_perform(multi.get(), &running);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy.get()) {
          done = true;
          result = msg->data.result;
        }
      }
      if (ready() || done)
        return true;
      Clock::time_point now = Clock::now();
      if (watchConnect && !connectSeen) {
        curl_off_t connectUs = 0;
        if (curl_easy_getinfo(easy.get(), CURLINFO_CONNECT_TIME_T, &connectUs) == CURLE_OK && connectUs > 0) {
          connectSeen = true;
          deadline = std::min(deadline, now + std::chrono::milliseconds(headerMs));
        }
      }
      if (now >= deadline)
        return false;
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
      curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(std::min<long long>(wait + 1, 200)), nullptr);
    }
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<InternetRequest*>(user);
    size_t n = size * count;
    self->lastByte = Clock::now();
    if (self->headersDone)
      return n;  // trailers of a chunked body
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
      // Interim and proxy replies come first; only the last block counts.
      self->rawHeaders.clear();
      self->headerBytes = 0;
      self->headerOversize = false;
    }
    self->headerBytes += n;
    if (self->headerBytes > kMaxHeaderFlood)
      return 0;
    if (!self->headerOversize) {
      if (self->rawHeaders.size() + n > kMaxKeptHeaderChars) {
        self->headerOversize = true;
        self->rawHeaders.clear();
        self->rawHeaders.shrink_to_fit();
      } else {
        self->rawHeaders.append(data, n);
      }
    }
    if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
      long code = 0;
      curl_easy_getinfo(self->easy.get(), CURLINFO_RESPONSE_CODE, &code);
      if (code >= 200 || (code != 0 && code < 100))
        self->headersDone = true;
    }
    return n;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<InternetRequest*>(user);
    size_t n = size * count;
    size_t held = self->pending.size() - self->pendingPos;
    if (held != 0 && held + n > kMaxPendingBody) {
      self->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (self->pendingPos != 0 && self->pendingPos == self->pending.size()) {
      self->pending.clear();
      self->pendingPos = 0;
    } else if (self->pendingPos > kMaxPendingBody) {
      self->pending.erase(0, self->pendingPos);
      self->pendingPos = 0;
    }
    self->pending.append(data, n);
    self->received += n;
    self->lastByte = Clock::now();
    return n;
  }

  void FailFromResult() {
    std::string text = errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(result);
    uint32_t code = MapCurlCode(result);
    if (code == ERROR_SUCCESS)
      code = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    Fail(code, text);
  }

  std::shared_ptr<const SessionSettings> settings;
  std::u16string server;
  uint16_t port = 0;
  std::string verb;
  std::string path;
  std::string query;
  bool hasQuery = false;
  bool secure = false;
  uint32_t sendTimeoutMs = 0;
  uint32_t receiveTimeoutMs = 0;
  uint32_t securityFlags = 0;
  std::string proxyUser;
  std::string proxyPassword;

  CurlMulti multi;
  CurlUrl url;
  CurlSlist headerList;
  CurlEasy easy;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  std::string rawHeaders;
  size_t headerBytes = 0;
  bool headerOversize = false;
  bool headersDone = false;
  bool connectSeen = false;
  std::string pending;
  size_t pendingPos = 0;
  uint64_t received = 0;
  bool paused = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  Clock::time_point lastByte;
};

void SessionDeleter::operator()(InternetSession* p) const { std::default_delete<InternetSession>()(p); }
void ConnectionDeleter::operator()(InternetConnection* p) const { std::default_delete<InternetConnection>()(p); }
void RequestDeleter::operator()(InternetRequest* p) const { std::default_delete<InternetRequest>()(p); }

namespace {

template <class Handle, class T = typename Handle::element_type>
Handle MakeHandle() {
  return Handle(std::make_unique<T>().release());
}

}  // namespace

SessionHandle InternetOpen(const std::u16string& agent, uint32_t accessType, const std::u16string& proxy,
                           const std::u16string& proxyBypass, uint32_t /*flags*/) {
  GlobalInit();
  if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
      accessType != INTERNET_OPEN_TYPE_PROXY) {
    Fail(ERROR_INTERNET_INVALID_OPTION, "unknown access type");
    return nullptr;
  }
  if (accessType == INTERNET_OPEN_TYPE_PROXY && proxy.empty()) {
    Fail(ERROR_INTERNET_INVALID_OPTION, "no proxy named");
    return nullptr;
  }
  auto settings = std::make_shared<SessionSettings>();
  settings->agent = Utf16ToUtf8(agent);
  settings->accessType = accessType;
  settings->proxy = Utf16ToUtf8(proxy);
  settings->bypass = Utf16ToUtf8(proxyBypass);
  SessionHandle session = MakeHandle<SessionHandle>();
  session->settings = std::move(settings);
  SetLastError(ERROR_SUCCESS);
  return session;
}

ConnectionHandle InternetConnect(InternetSession* session, const std::u16string& server, uint16_t port,
                                 uint32_t service, uint32_t /*flags*/) {
  if (session == nullptr) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "no session");
    return nullptr;
  }
  if (service != INTERNET_SERVICE_HTTP) {
    Fail(ERROR_INTERNET_INVALID_OPTION, "only HTTP is served");
    return nullptr;
  }
  ConnectionHandle connection = MakeHandle<ConnectionHandle>();
  connection->settings = session->settings;
  connection->server = server;
  connection->port = port;
  SetLastError(ERROR_SUCCESS);
  return connection;
}

RequestHandle HttpOpenRequest(InternetConnection* connection, const std::u16string& verb,
                              const std::u16string& objectPath, uint32_t flags) {
  if (connection == nullptr) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "no connection");
    return nullptr;
  }
  std::string verb8 = verb.empty() ? std::string("GET") : Utf16ToUtf8(verb);
  std::string path8 = objectPath.empty() ? std::string("/") : Utf16ToUtf8(objectPath);
  if (!std::all_of(verb8.begin(), verb8.end(), IsTokenChar) || !IsPlainPath(path8)) {
    Fail(ERROR_INTERNET_INVALID_URL, "bad verb or object path");
    return nullptr;
  }
  CurlMulti multi(curl_multi_init());
  if (!multi) {
    Fail(ERROR_INTERNET_OUT_OF_HANDLES, "curl_multi_init failed");
    return nullptr;
  }
  RequestHandle request = MakeHandle<RequestHandle>();
  request->settings = connection->settings;
  request->server = connection->server;
  request->port = connection->port;
  request->verb = verb8;
  size_t q = path8.find('?');
  request->path = path8.substr(0, q);
  if (q != std::string::npos) {
    request->hasQuery = true;
    request->query = path8.substr(q + 1);
  }
  request->secure = (flags & INTERNET_FLAG_SECURE) != 0;
  request->multi = std::move(multi);
  SetLastError(ERROR_SUCCESS);
  return request;
}

namespace {

template <class Handle>
bool CloseOwnedHandle(Handle& handle) {
  if (!handle) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  handle.reset();
  return true;
}

}  // namespace

bool InternetCloseHandle(SessionHandle& handle) { return CloseOwnedHandle(handle); }
bool InternetCloseHandle(ConnectionHandle& handle) { return CloseOwnedHandle(handle); }
bool InternetCloseHandle(RequestHandle& handle) { return CloseOwnedHandle(handle); }

namespace {

CurlUrl BuildUrl(const InternetRequest& r) {
  std::string host = Utf16ToUtf8(r.server);
  if (!IsPlainHost(host))
    return nullptr;
  CurlUrl url(curl_url());
  if (!url)
    return nullptr;
  if (curl_url_set(url.get(), CURLUPART_SCHEME, r.secure ? "https" : "http", 0) != CURLUE_OK)
    return nullptr;
  if (curl_url_set(url.get(), CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK)
    return nullptr;
  if (r.port != 0 && curl_url_set(url.get(), CURLUPART_PORT, std::to_string(r.port).c_str(), 0) != CURLUE_OK)
    return nullptr;
  if (curl_url_set(url.get(), CURLUPART_PATH, r.path.c_str(), 0) != CURLUE_OK)
    return nullptr;
  if (r.hasQuery && curl_url_set(url.get(), CURLUPART_QUERY, r.query.c_str(), 0) != CURLUE_OK)
    return nullptr;
  // The parts must read back as they went in.
  char* got = nullptr;
  if (curl_url_get(url.get(), CURLUPART_HOST, &got, 0) != CURLUE_OK)
    return nullptr;
  CurlText gotHost(got);
  if (CasefoldAscii(gotHost.get()) != CasefoldAscii(host))
    return nullptr;
  got = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &got, 0) != CURLUE_OK)
    return nullptr;
  CurlText whole(got);
  return url;
}

bool AppendHeaders(const std::u16string& headers, CurlSlist& list) {
  std::string text = Utf16ToUtf8(headers);
  size_t pos = 0;
  auto add = [&list](const std::string& line) {
    curl_slist* next = curl_slist_append(list.get(), line.c_str());
    if (next == nullptr)
      return false;
    list.release();
    list.reset(next);
    return true;
  };
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() + 1 : end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    if (line.find('\r') != std::string::npos || line.find('\0') != std::string::npos ||
        line.find(':') == std::string::npos)
      return false;
    if (!add(line))
      return false;
  }
  // No "Expect: 100-continue" round trip.
  return add("Expect:");
}

}  // namespace

bool HttpSendRequest(InternetRequest* r, const std::u16string& headers, const void* body, uint32_t bodyLength) {
  if (r == nullptr) {
    Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "no request");
    return false;
  }
  t_lastResponse.valid = false;
  r->ResetTransfer();
  r->connectSeen = false;
  r->lastByte = Clock::now();
  r->url = BuildUrl(*r);
  if (!r->url) {
    Fail(ERROR_INTERNET_INVALID_URL, "host or path is not a plain URL part");
    return false;
  }
  if (!AppendHeaders(headers, r->headerList)) {
    r->ResetTransfer();
    Fail(ERROR_INTERNET_INVALID_OPTION, "malformed request header");
    return false;
  }
  r->easy.reset(curl_easy_init());
  if (!r->easy) {
    r->ResetTransfer();
    Fail(ERROR_INTERNET_OUT_OF_HANDLES, "curl_easy_init failed");
    return false;
  }
  CURL* e = r->easy.get();
  const SessionSettings& s = *r->settings;
  curl_easy_setopt(e, CURLOPT_CURLU, r->url.get());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->errorBuffer);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &InternetRequest::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, r);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &InternetRequest::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, r);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeoutMs()));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headerList.get());
  if (!s.agent.empty())
    curl_easy_setopt(e, CURLOPT_USERAGENT, s.agent.c_str());
  if (s.accessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  } else if (s.accessType == INTERNET_OPEN_TYPE_PROXY) {
    std::string proxy = PickProxy(s.proxy, r->secure ? "https" : "http");
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    std::string noProxy = BypassToNoProxy(s.bypass);
    if (!noProxy.empty())
      curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy.c_str());
  }
  if (!r->proxyUser.empty())
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, r->proxyUser.c_str());
  if (!r->proxyPassword.empty())
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, r->proxyPassword.c_str());
  if (r->secure) {
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  }
  const char* bytes = bodyLength != 0 && body != nullptr ? static_cast<const char*>(body) : "";
  curl_off_t length = bodyLength != 0 && body != nullptr ? bodyLength : 0;
  if (r->verb == "POST") {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, length);
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, bytes);
  } else if (r->verb == "GET" && length == 0) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (r->verb == "HEAD" && length == 0) {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r->verb.c_str());
    if (length != 0) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, length);
      curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, bytes);
    }
  }
  if (curl_multi_add_handle(r->multi.get(), e) != CURLM_OK) {
    r->ResetTransfer();
    Fail(ERROR_INTERNET_INTERNAL_ERROR, "curl_multi_add_handle failed");
    return false;
  }
  uint32_t headerMs = ReplyHeaderTimeoutMs();
  Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<uint64_t>(ConnectTimeoutMs()) + headerMs);
  bool inTime = r->Pump([r] { return r->headersDone; }, deadline, true, headerMs);
  if (r->headersDone)
    return true;
  if (!inTime) {
    r->ResetTransfer();
    Fail(ERROR_INTERNET_TIMEOUT, "no reply header in time");
    return false;
  }
  r->FailFromResult();
  r->ResetTransfer();
  return false;
}

bool HttpQueryStatusCode(InternetRequest* r, uint32_t& code) {
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  if (!r->easy || !r->headersDone) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return false;
  }
  long status = 0;
  if (curl_easy_getinfo(r->easy.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return false;
  }
  code = static_cast<uint32_t>(status);
  return true;
}

bool HttpQueryRawHeaders(InternetRequest* r, char16_t* buffer, uint32_t& bufferBytes) {
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  if (!r->easy || !r->headersDone) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return false;
  }
  size_t chars = r->headerOversize ? r->headerBytes : r->rawHeaders.size();
  uint64_t need = (static_cast<uint64_t>(chars) + 1) * 2;
  if (r->headerOversize || buffer == nullptr || need > bufferBytes) {
    bufferBytes = static_cast<uint32_t>(std::min<uint64_t>(need, UINT32_MAX));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  // Header bytes are Latin-1 as far as the protocol goes.
  for (size_t i = 0; i < chars; ++i)
    buffer[i] = static_cast<unsigned char>(r->rawHeaders[i]);
  buffer[chars] = u'\0';
  bufferBytes = static_cast<uint32_t>(chars * 2);
  return true;
}

bool InternetSetOption(InternetRequest* r, uint32_t option, uint32_t value) {
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  switch (option) {
    case INTERNET_OPTION_SEND_TIMEOUT:
      r->sendTimeoutMs = value;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      r->receiveTimeoutMs = value;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      r->securityFlags = value;
      return true;
    default:
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return false;
  }
}

bool InternetSetOption(InternetRequest* r, uint32_t option, const std::u16string& text) {
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  switch (option) {
    case INTERNET_OPTION_PROXY_USERNAME:
      r->proxyUser = Utf16ToUtf8(text);
      return true;
    case INTERNET_OPTION_PROXY_PASSWORD:
      Wipe(r->proxyPassword);
      r->proxyPassword = Utf16ToUtf8(text);
      return true;
    default:
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return false;
  }
}

bool InternetQueryOption(InternetRequest* r, uint32_t option, uint32_t& value) {
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  switch (option) {
    case INTERNET_OPTION_SEND_TIMEOUT:
      value = r->sendTimeoutMs;
      return true;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      value = r->receiveTimeoutMs;
      return true;
    case INTERNET_OPTION_SECURITY_FLAGS:
      value = r->securityFlags;
      return true;
    default:
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return false;
  }
}

bool InternetReadFile(InternetRequest* r, void* buffer, uint32_t size, uint32_t& bytesRead) {
  bytesRead = 0;
  if (r == nullptr) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return false;
  }
  if (!r->easy || !r->headersDone) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  uint32_t timeoutMs = r->receiveTimeoutMs != 0 ? r->receiveTimeoutMs : kDefaultReplyHeaderTimeoutMs;
  uint32_t cap = g_testReceiveCapMs.load();
  if (cap != 0)
    timeoutMs = std::min(timeoutMs, cap);
  t_lastResponse.valid = false;
  auto* out = static_cast<char*>(buffer);
  size_t filled = 0;
  // Like a synchronous WinINet read: fills the buffer unless the body ends
  // first; an error after some bytes shows on the next read.
  for (;;) {
    size_t held = r->pending.size() - r->pendingPos;
    if (held != 0 && filled < size) {
      size_t n = std::min<size_t>(held, size - filled);
      std::memcpy(out + filled, r->pending.data() + r->pendingPos, n);
      r->pendingPos += n;
      filled += n;
      bytesRead = static_cast<uint32_t>(filled);
      if (r->paused && r->pending.size() - r->pendingPos < kMaxPendingBody / 2) {
        r->paused = false;
        curl_easy_pause(r->easy.get(), CURLPAUSE_CONT);
      }
    }
    if (filled == size)
      return true;
    if (r->done) {
      if (filled != 0 || r->result == CURLE_OK)
        return true;
      r->FailFromResult();
      return false;
    }
    if (r->paused) {
      r->paused = false;
      curl_easy_pause(r->easy.get(), CURLPAUSE_CONT);
      continue;
    }
    // Measured from the last byte, not from this read's start: a read that
    // returns a partial buffer after a stall must not give the next read a
    // fresh window, or one stall could last twice the time-out.
    Clock::time_point deadline = r->lastByte + std::chrono::milliseconds(timeoutMs);
    if (Clock::now() >= deadline) {
      if (filled != 0)
        return true;
      Fail(ERROR_INTERNET_TIMEOUT, "no body byte within " + std::to_string(timeoutMs) + " ms");
      return false;
    }
    uint64_t before = r->received;
    r->Pump([r, before] { return r->received != before || r->paused; }, deadline, false, 0);
  }
}

bool InternetGetLastResponseInfo(uint32_t& error, std::u16string& text) {
  if (!t_lastResponse.valid) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  error = t_lastResponse.error;
  text = Utf8ToUtf16(t_lastResponse.text);
  return true;
}

void SetInternetTimeoutsForTest(uint32_t connectMs, uint32_t replyHeaderMs, uint32_t receiveCapMs) {
  g_testConnectMs = connectMs;
  g_testReplyHeaderMs = replyHeaderMs;
  g_testReceiveCapMs = receiveCapMs;
}

}  // namespace platform
