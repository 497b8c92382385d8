// One probe sweep: "find qenbox" to UDP port 9269 at the broadcast address of
// every adapter, one reply read per address within 10 s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "discovery/UdpClientEvents.h"
#include "platform/Adapters.h"

constexpr uint16_t kQenBoxProbePort = 9269;
constexpr char kQenBoxProbeText[] = "find qenbox";  // sent without the NUL: 11 bytes
constexpr size_t kQenBoxReplyBufferSize = 1024;
constexpr int kQenBoxReceiveTimeoutSeconds = 10;

// Fills addresses with one broadcast text per adapter (address | ~mask),
// ordered byte-wise, each once. false when the adapter list cannot be read or
// holds no adapter; the set is then empty.
bool GetBroadcastAddresses(std::set<std::string>& addresses,
                           const platform::AdapterSource& adapters = platform::GetAdaptersIpv4);

// Runs one sweep on the calling thread, calling events.OnReply synchronously.
// 0 when the handler took a reply (later addresses are not probed), -1 when
// every address was tried (also when there is none). Blocks up to 10 s per
// address that does not answer.
int UdpBroadcastProbe(CUdpClientEvents& events,
                      const platform::AdapterSource& adapters = platform::GetAdaptersIpv4);
