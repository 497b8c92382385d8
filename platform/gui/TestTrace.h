// QENBOX_TEST_TRACE=<file> makes the window append what it shows, one event a
// line ("<microseconds since the epoch>\t<kind>\t<detail>..."),, for the
// end-to-end test and the benchmark. Without the variable nothing is written.
#pragma once

#include <string>

namespace platform {

bool TestTraceEnabled();
// Newlines, tabs and backslashes in the fields are written as \n, \t and \\;
// a second field follows the first after a tab. Window thread only.
void TestTrace(const char* kind, const std::string& detail);
void TestTrace(const char* kind, const std::string& field1, const std::string& field2);

}  // namespace platform
