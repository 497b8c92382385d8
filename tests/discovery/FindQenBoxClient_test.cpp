#include "discovery/FindQenBoxClient.h"

#include <gtest/gtest.h>

#include <vector>

using platform::ADAPTER_IPV4;

namespace {

// Without adapters every sweep ends at once, so the sweep limit shows in the
// number of times the adapter list is read (once per sweep).
TEST(FindQenBoxClient, RunsTheGivenNumberOfSweepsWhenNothingAnswers) {
  struct Row {
    const char* name;
    int32_t maxSweeps;
    bool listReadable;
    int expectedSweeps;
  };
  const Row rows[] = {
      {"design default", kQenBoxMaxSweeps, true, 10000},
      {"one sweep", 1, true, 1},
      {"three sweeps, unreadable list", 3, false, 3},
      {"zero counts as one", 0, true, 1},
      {"negative counts as one", -5, true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int sweeps = 0;
    const platform::AdapterSource noAdapters = [&](std::vector<ADAPTER_IPV4>& list) {
      ++sweeps;
      list.clear();
      return row.listReadable;
    };
    const QENBOXCLIENTDATA data = FindQenBoxClient(0, row.maxSweeps, noAdapters);
    EXPECT_EQ(row.expectedSweeps, sweeps);
    EXPECT_TRUE(data.strIPAddress.empty());
    EXPECT_TRUE(data.strIPType.empty());
  }
}

}  // namespace
