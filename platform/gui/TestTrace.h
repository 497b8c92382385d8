// QENBOX_TEST_TRACE=<file> makes the window append what it shows, one event a
// line ("<microseconds since the epoch>\t<kind>\t<detail>"), for the
// end-to-end test and the benchmark. Without the variable nothing is written.
#pragma once

#include <string>

namespace platform {

bool TestTraceEnabled();
// Newlines, tabs and backslashes in detail are written as \n, \t and \\.
// Window thread only.
void TestTrace(const char* kind, const std::string& detail);

}  // namespace platform
