// The box's discovery endpoint: answers "find qenbox" on UDP with its address.
#pragma once

#include <string>
#include <thread>

#include "discovery/SocketHandle.h"
#include "tools/qenbox-sim/BoxState.h"
#include "tools/qenbox-sim/SimOptions.h"

class UdpResponder {
public:
  // state and options must outlive the responder.
  UdpResponder(const BoxState& state, const SimOptions& options);
  ~UdpResponder();
  UdpResponder(const UdpResponder&) = delete;
  UdpResponder& operator=(const UdpResponder&) = delete;

  // Binds 0.0.0.0:<port> with SO_BROADCAST and starts answering on a thread of
  // its own; false with error set when the socket cannot be set up.
  bool Start(std::string& error);
  // Ends the thread; also cuts a pending reply delay short.
  void Stop();

private:
  void Run();
  void Answer(const std::string& peerText, const void* peer, unsigned peerLength);
  bool WaitStop(int timeoutMs);  // true when asked to stop

  const BoxState& m_state;
  const SimOptions& m_options;
  CSocketHandle m_socket;
  CSocketHandle m_replySocket;  // for --reply-from and --reply-from-port
  CSocketHandle m_alsoSocket;   // for --also-box
  CSocketHandle m_stopRead;
  CSocketHandle m_stopWrite;
  std::thread m_thread;
};
