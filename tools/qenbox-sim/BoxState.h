// The box's current address and address type, shared by its endpoints.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

class BoxState {
public:
  struct Snapshot {
    std::string strIp;
    std::string strNetmask;
    std::string strIpType;
  };

  BoxState(std::string ip, std::string netmask, std::string ipType);

  // Safe from any thread.
  Snapshot Get() const;

  // The box's restart under a new address: moves the address of the interface
  // that carries the current one (ip addr flush + add, in the namespace the
  // simulator runs in), then reports the new address with ipType. false, with
  // a log line, when the interface is not found or `ip` fails; the state is
  // then unchanged.
  bool MoveAddress(const std::string& ip, const std::string& netmask, const std::string& ipType);

  // While the box restarts none of its endpoints answers.
  void SetRestarting(bool restarting) { m_bRestarting = restarting; }
  bool IsRestarting() const { return m_bRestarting; }

private:
  std::atomic<bool> m_bRestarting{false};
  mutable std::mutex m_mutex;
  Snapshot m_state;
};
