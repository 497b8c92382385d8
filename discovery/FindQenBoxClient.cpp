#include "discovery/FindQenBoxClient.h"

#include "discovery/FindEvents.h"
#include "discovery/UdpBroadcastProbe.h"
#include "discovery/WinsockInit.h"

QENBOXCLIENTDATA FindQenBoxClient(int32_t nUnused) {
  return FindQenBoxClient(nUnused, kQenBoxMaxSweeps);
}

QENBOXCLIENTDATA FindQenBoxClient(int32_t /*nUnused*/, int32_t nMaxSweeps,
                                  const platform::AdapterSource& adapters) {
  CEvents events;
  for (int32_t n = 0;;) {
    int result = 0;
    {
      CWinsockInit winsock;
      result = UdpBroadcastProbe(events, adapters);
    }
    if (result == 0) {
      break;
    }
    ++n;
    if (n >= nMaxSweeps) {
      break;
    }
  }
  return QENBOXCLIENTDATA{events.m_strIPAddress, events.m_strIPType};
}
