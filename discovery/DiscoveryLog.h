// Where discovery writes its diagnostics: QenGlobal().WriteLog(text, 0).
#pragma once

#include <functional>
#include <string>
#include <string_view>

void WriteDiscoveryLog(std::u16string_view text);

// Tests catch the lines here; an empty sink restores the global log.
// Not synchronised: set it only while no discovery runs on another thread.
using DiscoveryLogSink = std::function<void(std::u16string_view text)>;
DiscoveryLogSink SetDiscoveryLogSink(DiscoveryLogSink sink);
