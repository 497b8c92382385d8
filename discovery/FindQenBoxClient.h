// The one entry point of discovery.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Adapters.h"

struct QENBOXCLIENTDATA {
  std::u16string strIPAddress;  // "ip" of the reply taken; empty when none
  std::u16string strIPType;     // "iptype" of the reply taken; empty when none
};

constexpr int32_t kQenBoxMaxSweeps = 10000;

// Repeats probe sweeps until a reply is taken or 10000 sweeps have passed.
// nUnused has no effect. Blocks (about 10 s per silent address and sweep):
// call it on a worker thread.
QENBOXCLIENTDATA FindQenBoxClient(int32_t nUnused);

// The same with the sweep limit given (values below 1 count as 1) and the
// adapter list replaceable.
QENBOXCLIENTDATA FindQenBoxClient(int32_t nUnused, int32_t nMaxSweeps,
                                  const platform::AdapterSource& adapters = platform::GetAdaptersIpv4);
