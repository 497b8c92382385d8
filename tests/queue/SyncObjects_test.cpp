#include "queue/SyncObjects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

TEST(CQenEventObject, AutoResetsOnLockAndUnlockDoesNotSignal) {
  CQenEventObject event;
  event.m_hObject = std::make_unique<platform::Event>();
  EXPECT_FALSE(event.Lock(0));

  event.m_hObject->Set();
  EXPECT_TRUE(event.Lock(INFINITE));
  EXPECT_FALSE(event.Lock(0));  // consumed by the first Lock

  EXPECT_TRUE(event.Unlock());
  EXPECT_FALSE(event.Lock(0));
  EXPECT_TRUE(event.Unlock(1, nullptr));
  EXPECT_FALSE(event.Lock(0));
}

TEST(CQenEventObject, TimedLockWaitsAndIsWokenFromAnotherThread) {
  CQenEventObject event;
  event.m_hObject = std::make_unique<platform::Event>();

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Lock(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);

  std::thread setter([&] {
    std::this_thread::sleep_for(50ms);
    event.m_hObject->Set();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(event.Lock(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  setter.join();
}

TEST(CQenEventObject, WithoutHandleLockFailsAndDestructionIsQuiet) {
  CQenEventObject event;
  EXPECT_FALSE(event.Lock(0));
  EXPECT_FALSE(event.Lock(INFINITE));
  CQenSingleLock lock(&event);
  EXPECT_FALSE(lock.IsLocked());
}

TEST(CQenCriticalSectionObject, IsRecursiveAndExcludesOtherThreads) {
  CQenCriticalSectionObject section;
  std::atomic<bool> otherHasIt{false};
  std::thread other;
  {
    CQenSingleLock outer(&section);
    ASSERT_TRUE(outer.IsLocked());
    {
      CQenSingleLock inner(&section);  // the owner may enter again
      ASSERT_TRUE(inner.IsLocked());
      other = std::thread([&] {
        CQenSingleLock lock(&section);
        otherHasIt = true;
      });
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(otherHasIt) << "released after one of two entries";
  }
  other.join();
  EXPECT_TRUE(otherHasIt);
}

TEST(CQenSingleLock, LeavesTheSectionWhenTheBlockThrows) {
  CQenCriticalSectionObject section;
  try {
    CQenSingleLock lock(&section);
    throw std::runtime_error("guarded block fails");
  } catch (const std::runtime_error&) {
  }

  auto locked = std::async(std::launch::async, [&] {
    CQenSingleLock lock(&section);
    return lock.IsLocked();
  });
  if (locked.wait_for(5s) != std::future_status::ready) {
    section.Unlock();  // let the helper finish before failing
    FAIL() << "section still held after the exception";
  }
  EXPECT_TRUE(locked.get());
}

namespace {

// Reports what CQenSingleLock asks of the object it guards.
class FakeSyncObject : public CQenSyncObject {
public:
  using CQenSyncObject::Unlock;
  FakeSyncObject(bool bLockResult, bool bUnlockResult)
      : m_bLockResult(bLockResult), m_bUnlockResult(bUnlockResult) {}
  bool Lock(uint32_t dwTimeout) override {
    m_dwLastTimeout = dwTimeout;
    return m_bLockResult;
  }
  bool Unlock() override {
    ++m_nUnlocks;
    return m_bUnlockResult;
  }
  bool m_bLockResult;
  bool m_bUnlockResult;
  uint32_t m_dwLastTimeout = 0;
  int m_nUnlocks = 0;
};

}  // namespace

TEST(CQenSingleLock, UnlocksOnlyWhatItAcquired) {
  struct Row {
    const char* name;
    bool bLock;
    bool bUnlock;
    bool bHeldAfterUnlock;
    int nUnlocksAtEnd;
  };
  const Row rows[] = {
      {"lock and unlock succeed", true, true, false, 1},
      {"lock fails: never unlocks", false, true, false, 0},
      {"unlock fails: still held, retried at scope end", true, false, true, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeSyncObject object(row.bLock, row.bUnlock);
    {
      CQenSingleLock lock(&object);
      EXPECT_EQ(object.m_dwLastTimeout, INFINITE);
      EXPECT_EQ(lock.IsLocked(), row.bLock);
      EXPECT_EQ(lock.Unlock(), !row.bHeldAfterUnlock);
      EXPECT_EQ(lock.IsLocked(), row.bHeldAfterUnlock);
    }
    EXPECT_EQ(object.m_nUnlocks, row.nUnlocksAtEnd);
  }
}
