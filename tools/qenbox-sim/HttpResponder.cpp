#include "tools/qenbox-sim/HttpResponder.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <json/json.h>
#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <vector>

#include "tools/qenbox-sim/SimLog.h"

namespace {

constexpr char kSetIpPath[] = "/manage_console/set-ip";
constexpr char kDefaultContentType[] = "application/json; charset=utf-8";
// Time for the accepting reply to leave before the box goes away.
constexpr auto kReplyGrace = std::chrono::milliseconds(200);

bool ParseIpv4(const std::string& text, uint32_t& value) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
    return false;
  value = ntohl(parsed.s_addr);
  return true;
}

bool IsNetmask(const std::string& text) {
  uint32_t bits = 0;
  if (!ParseIpv4(text, bits) || bits == 0)
    return false;
  uint32_t inverted = ~bits;
  return (inverted & (inverted + 1)) == 0;
}

bool IsHostAddress(const std::string& text) {
  uint32_t value = 0;
  if (!ParseIpv4(text, value))
    return false;
  uint32_t first = value >> 24;
  return value != 0 && first != 0 && first != 127 && first < 224;
}

// Addresses are only ever moved inside a named network namespace (one that
// `ip netns add` made, as our LAN scripts do), never on the machine's own
// interfaces or on loopback.
bool MayMoveAddress(const std::string& ip) {
  uint32_t value = 0;
  if (!ParseIpv4(ip, value) || (value >> 24) == 127)
    return false;
  struct stat self {};
  if (stat("/proc/self/ns/net", &self) != 0)
    return false;
  DIR* dir = opendir("/run/netns");
  if (dir == nullptr)
    return false;
  bool named = false;
  while (dirent* entry = readdir(dir)) {
    struct stat ns {};
    std::string path = std::string("/run/netns/") + entry->d_name;
    if (entry->d_name[0] != '.' && stat(path.c_str(), &ns) == 0 && ns.st_ino == self.st_ino &&
        ns.st_dev == self.st_dev)
      named = true;
  }
  closedir(dir);
  return named;
}

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

const char* Page(const std::string& title) {
  static std::map<std::string, std::string> pages;
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  std::string& page = pages[title];
  if (page.empty()) {
    page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body><h1>" + title + "</h1><p>Played by qenbox-sim.</p></body></html>\n";
  }
  return page.c_str();
}

}  // namespace

HttpResponder::HttpResponder(BoxState& state, const SimOptions& options) : m_state(state), m_options(options) {}

HttpResponder::~HttpResponder() { Stop(); }

bool HttpResponder::Start(std::string& error) { return Listen(m_state.Get().strIp, error); }

void HttpResponder::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  if (m_restartThread.joinable())
    m_restartThread.join();
  StopListening();
}

bool HttpResponder::Listen(const std::string& ip, std::string& error) {
  auto server = std::make_unique<httplib::Server>();
  // The library answers 413 to a url-encoded form over 8 KiB before any
  // handler runs, but a box takes longer ones (a password of 10 000
  // characters): the body is read here and parsed by the library's own form
  // parser, as it would have been.
  server->Post(kSetIpPath, [this](const httplib::Request& request, httplib::Response& response,
                                  const httplib::ContentReader& reader) {
    httplib::Request full = request;
    reader([&full](const char* data, size_t length) {
      full.body.append(data, length);
      return true;
    });
    if (full.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0)
      httplib::detail::parse_query_text(full.body, full.params);
    OnSetIp(full, response);
  });
  server->Get("/web/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(Page("QenNote"), "text/html; charset=utf-8");
  });
  server->Get("/manage_console", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(Page("QenBox management console"), "text/html; charset=utf-8");
  });
  if (!server->bind_to_port(ip, m_options.nHttpPort)) {
    error = "cannot bind " + ip + ":" + std::to_string(m_options.nHttpPort);
    return false;
  }
  httplib::Server* raw = server.get();
  m_server = std::move(server);
  m_listenThread = std::thread([raw] { raw->listen_after_bind(); });
  SimLog("http listening on " + ip + ":" + std::to_string(m_options.nHttpPort));
  return true;
}

void HttpResponder::StopListening() {
  if (m_server)
    m_server->stop();
  if (m_listenThread.joinable())
    m_listenThread.join();
  m_server.reset();
}

void HttpResponder::OnSetIp(const httplib::Request& request, httplib::Response& response) {
  const int number = ++m_setIpCount;
  std::string names;
  Json::Value echo(Json::objectValue);
  for (const auto& [name, value] : request.params) {
    names += (names.empty() ? "" : ",") + name;
    echo[name].append(value);
  }
  // Field names only: the values hold a password.
  SimLog("set-ip request #" + std::to_string(number) + " from " + request.remote_addr + ", " +
         std::to_string(request.body.size()) + " body bytes, fields " + (names.empty() ? "(none)" : names));

  if (m_options.nHttpDelayMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(m_options.nHttpDelayMs));

  if (m_options.bHttp407) {
    response.status = 407;
    response.set_header("Proxy-Authenticate", "Basic realm=\"qenbox\"");
    response.set_content("proxy authentication required\n", "text/plain");
    return;
  }

  auto field = [&request](const char* name, std::string& value) {
    if (request.get_param_value_count(name) != 1)
      return false;
    value = request.get_param_value(name);
    return true;
  };
  std::string user, password, ip, netmask, gateway;
  bool hasUser = field("username", user);
  bool hasPassword = field("password", password);
  bool hasGateway = request.has_param("gateway");
  int code = 200;
  std::string message = "OK";
  if (!hasUser || !hasPassword) {
    code = 301;
    message = "Missing user name or password";
  } else if (user != m_options.strUser && password != m_options.strPassword) {
    code = 301;
    message = "Wrong user name or password";
  } else if (user != m_options.strUser) {
    code = 3801;
    message = "Wrong user name";
  } else if (password != m_options.strPassword) {
    code = 3802;
    message = "Wrong password";
  } else if (!field("ip", ip) || !IsHostAddress(ip)) {
    code = 3803;
    message = "Invalid ip address";
  } else if (!field("netmask", netmask) || !IsNetmask(netmask)) {
    code = 3804;
    message = "Invalid netmask";
  } else if (hasGateway && (!field("gateway", gateway) || !IsHostAddress(gateway))) {
    code = 3805;
    message = "Invalid gateway";
  }
  if (m_options.bEchoForm)
    message = Compact(echo);

  Json::Value reply(Json::objectValue);
  reply["return_code"] = code;
  reply["return_message"] = message;
  std::string body = m_options.bHttpBody ? m_options.strHttpBody : Compact(reply);
  if (body.size() < m_options.nHttpBodyBytes)
    body.append(m_options.nHttpBodyBytes - body.size(), ' ');
  const std::string type = m_options.strHttpContentType.empty() ? kDefaultContentType : m_options.strHttpContentType;
  response.status = m_options.nHttpStatus != 0 ? m_options.nHttpStatus : 200;
  if (m_options.nHttpHeaderBytes > 0)
    response.set_header("X-Padding", std::string(m_options.nHttpHeaderBytes, 'p'));
  SimLog("set-ip request #" + std::to_string(number) + " answered " + std::to_string(response.status) +
         ", return_code " + std::to_string(code) + ", " + std::to_string(body.size()) + " bytes" +
         (m_options.bHttpDrop ? ", dropped mid-body" : "") +
         (m_options.nHttpSlowBodyMs > 0 ? ", one byte per " + std::to_string(m_options.nHttpSlowBodyMs) + " ms" : ""));

  if (m_options.bHttpDrop) {
    auto shared = std::make_shared<std::string>(std::move(body));
    response.set_content_provider(shared->size(), type,
                                  [shared](size_t offset, size_t, httplib::DataSink& sink) {
                                    if (offset != 0)
                                      return false;  // closes the connection mid-body
                                    sink.write(shared->data(), shared->size() / 2);
                                    return true;
                                  });
    return;
  }
  if (m_options.nHttpSlowBodyMs > 0) {
    auto shared = std::make_shared<std::string>(std::move(body));
    response.set_content_provider(shared->size(), type,
                                  [this, shared](size_t offset, size_t, httplib::DataSink& sink) {
                                    // Each byte, the first too, a pause after the one before;
                                    // stopping the simulator cuts the pause short.
                                    std::unique_lock<std::mutex> lock(m_mutex);
                                    if (m_wake.wait_for(lock, std::chrono::milliseconds(m_options.nHttpSlowBodyMs),
                                                        [this] { return m_stopping; }))
                                      return false;
                                    lock.unlock();
                                    return sink.write(shared->data() + offset, 1);
                                  });
    return;
  }
  response.set_content(body, type.c_str());

  if (code == 200 && response.status < 400 && !m_options.bHttpBody) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_restarting || m_stopping)
      return;
    m_restarting = true;
    if (m_restartThread.joinable())
      m_restartThread.join();
    m_restartThread = std::thread([this, ip, netmask] { Restart(ip, netmask); });
  }
}

void HttpResponder::Restart(std::string ip, std::string netmask) {
  std::this_thread::sleep_for(kReplyGrace);
  SimLog("restarting: not answering for " + std::to_string(m_options.nRestartS) + " s");
  m_state.SetRestarting(true);
  StopListening();
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_wake.wait_for(lock, std::chrono::seconds(m_options.nRestartS), [this] { return m_stopping; })) {
      m_state.SetRestarting(false);
      return;
    }
  }
  const std::string current = m_state.Get().strIp;
  if (MayMoveAddress(current)) {
    m_state.MoveAddress(ip, netmask, "static");
  } else {
    SimLog("not moving " + current + " (loopback or the machine's own namespace); staying there");
  }
  m_state.SetRestarting(false);
  std::string error;
  if (!Listen(m_state.Get().strIp, error))
    SimLog("restart failed: " + error);
  else
    SimLog("restarted as " + m_state.Get().strIp + " (" + m_state.Get().strIpType + ")");
  std::lock_guard<std::mutex> lock(m_mutex);
  m_restarting = false;
}
