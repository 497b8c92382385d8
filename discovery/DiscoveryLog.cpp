#include "discovery/DiscoveryLog.h"

#include <utility>

#include "global/QenGlobal.h"

namespace {

DiscoveryLogSink& Sink() {
  static DiscoveryLogSink sink;
  return sink;
}

}  // namespace

void WriteDiscoveryLog(std::u16string_view text) {
  const DiscoveryLogSink& sink = Sink();
  if (sink) {
    sink(text);
    return;
  }
  QenGlobal().WriteLog(text, 0);
}

DiscoveryLogSink SetDiscoveryLogSink(DiscoveryLogSink sink) {
  return std::exchange(Sink(), std::move(sink));
}
