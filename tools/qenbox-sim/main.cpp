// qenbox-sim: plays the QenBox on a private test network. Runs until SIGTERM
// or SIGINT.
#include <signal.h>

#include <cstdio>
#include <string>

#include "tools/qenbox-sim/BoxState.h"
#include "tools/qenbox-sim/HttpResponder.h"
#include "tools/qenbox-sim/SimLog.h"
#include "tools/qenbox-sim/SimOptions.h"
#include "tools/qenbox-sim/UdpResponder.h"

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  switch (ParseSimOptions(argc, argv, options, error)) {
    case SimParseResult::kHelp:
      std::fputs(SimUsage().c_str(), stdout);
      return 0;
    case SimParseResult::kError:
      std::fprintf(stderr, "qenbox-sim: %s\n%s", error.c_str(), SimUsage().c_str());
      return 2;
    case SimParseResult::kRun:
      break;
  }

  // Blocked before any thread starts, so only sigwait below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  BoxState state(options.strIp, options.strNetmask, options.strIpType);
  UdpResponder udp(state, options);
  if (!udp.Start(error)) {
    SimLog("cannot start the UDP side: " + error);
    return 1;
  }
  HttpResponder http(state, options);
  if (options.nHttpPort != 0 && !http.Start(error)) {
    SimLog("cannot start the HTTP side: " + error);
    return 1;
  }

  int received = 0;
  sigwait(&stopSignals, &received);
  SimLog(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
  http.Stop();
  udp.Stop();
  return 0;
}
