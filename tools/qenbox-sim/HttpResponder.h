// The box's HTTP side: the set-ip endpoint with its restart under the new
// address, the two HTML pages, and the hostile modes tests ask for.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/qenbox-sim/BoxState.h"
#include "tools/qenbox-sim/SimOptions.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class HttpResponder {
public:
  // state and options must outlive the responder.
  HttpResponder(BoxState& state, const SimOptions& options);
  ~HttpResponder();
  HttpResponder(const HttpResponder&) = delete;
  HttpResponder& operator=(const HttpResponder&) = delete;

  // Binds <box address>:<http port> and serves on a thread of its own; false
  // with error set when the port cannot be bound.
  bool Start(std::string& error);
  void Stop();

private:
  bool Listen(const std::string& ip, std::string& error);
  void StopListening();
  void OnSetIp(const httplib::Request& request, httplib::Response& response);
  void Restart(std::string ip, std::string netmask);

  BoxState& m_state;
  const SimOptions& m_options;
  std::unique_ptr<httplib::Server> m_server;
  std::thread m_listenThread;
  std::thread m_restartThread;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;
  bool m_restarting = false;
  std::atomic<int> m_setIpCount{0};
};
