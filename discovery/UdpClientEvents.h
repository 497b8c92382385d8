// The reply handler of one probe sweep.
#pragma once

#include <string>

class CUdpClientEvents {
public:
  // Called on the sweep's thread for the first datagram read from one
  // broadcast address. broadcast: the address text probed; sender: the
  // datagram's source address (dotted decimal, no port); reply: the bytes up to
  // the first NUL. The texts live only for the call.
  // true = go on with the next address; false = the answer is taken, end the sweep.
  virtual bool OnReply(const std::string& broadcast, const std::string& sender,
                       const std::string& reply) = 0;

protected:
  ~CUdpClientEvents() = default;
};
