#include "queue/QueuedThread.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Process.h"
#include "tests/support/Counted.h"

using namespace std::chrono_literals;

namespace {

struct Call {
  std::string what;
  std::thread::id thread;
};

// Target of the test actions: records each call and the thread it ran on.
class Recorder {
public:
  void Note(std::string what) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({what, std::this_thread::get_id()});
  }
  void NoteSlowly(std::string what) {
    Note("start " + what);
    std::this_thread::sleep_for(20ms);
    Note("end " + what);
  }
  void NoteTwo(std::u16string first, int second) {
    Note(std::string(first.begin(), first.end()) + std::to_string(second));
  }
  void Throw(int) { throw std::runtime_error("action fails on purpose"); }
  void Done(int) { m_eventDone.m_hObject->Set(); }

  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.size();
  }
  // Posts a Done action to nKey and waits for it (everything before it has run).
  bool Drain(int32_t nKey) {
    QueueAction(nKey, new CQenQueuedAction1<Recorder, int>(&Recorder::Done, this, 0));
    return m_eventDone.Lock(10000);
  }

  Recorder() { m_eventDone.m_hObject = std::make_unique<platform::Event>(); }

private:
  std::mutex m_mutex;
  std::vector<Call> m_calls;
  CQenEventObject m_eventDone;
};

void PostNote(int32_t nKey, Recorder* pRecorder, const std::string& what) {
  QueueAction(nKey, new CQenQueuedAction1<Recorder, std::string>(&Recorder::Note, pRecorder, what));
}

using tests::Counted;

class CountedTarget {
public:
  void Take(Counted) { ++m_nCalls; }
  void TakeTwo(Counted, int) { ++m_nCalls; }
  std::atomic<int> m_nCalls{0};
};

// Runs the calling thread's default main loop until pred holds or 10 s pass.
template <typename Pred>
bool RunLoopUntil(Pred pred) {
  GSource* pTick = g_timeout_source_new(10);  // wakes the loop to re-check pred
  g_source_set_callback(pTick, [](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr, nullptr);
  g_source_attach(pTick, nullptr);
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!pred() && std::chrono::steady_clock::now() < deadline)
    g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(pTick);
  g_source_unref(pTick);
  return pred();
}

}  // namespace

TEST(QueuedThread, WorkerRunsActionsInPostingOrderOnOneThreadOfItsOwn) {
  for (int32_t nKey : {1, 1001}) {
    SCOPED_TRACE("key " + std::to_string(nKey));
    Recorder recorder;
    for (int i = 0; i < 5; ++i)
      QueueAction(nKey, new CQenQueuedAction1<Recorder, std::string>(&Recorder::NoteSlowly, &recorder,
                                                                     std::to_string(i)));
    ASSERT_TRUE(recorder.Drain(nKey));

    std::vector<Call> calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 10u);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(calls[2 * i].what, "start " + std::to_string(i));
      EXPECT_EQ(calls[2 * i + 1].what, "end " + std::to_string(i));
    }
    for (const Call& call : calls) {
      EXPECT_EQ(call.thread, calls[0].thread);
      EXPECT_NE(call.thread, std::this_thread::get_id());
    }
    CQenQueuedThread* pThread = GetQueuedThread(nKey);
    ASSERT_NE(pThread, nullptr);
    EXPECT_EQ(pThread->m_hThread.get_id(), calls[0].thread);
    EXPECT_NE(pThread->m_dwThreadId, 0u);
    EXPECT_NE(pThread->m_dwThreadId, platform::GetCurrentThreadId());
  }
}

TEST(QueuedThread, ConcurrentPostersKeepTheirOwnOrder) {
  constexpr int kPosters = 4;
  constexpr int kEach = 300;
  Recorder recorder;
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&recorder, p] {
      for (int i = 0; i < kEach; ++i)
        PostNote(1001, &recorder, std::to_string(p) + ":" + std::to_string(i));
    });
  }
  for (std::thread& poster : posters)
    poster.join();
  ASSERT_TRUE(recorder.Drain(1001));

  std::vector<Call> calls = recorder.Calls();
  ASSERT_EQ(calls.size(), size_t(kPosters * kEach));
  std::vector<int> next(kPosters, 0);
  for (const Call& call : calls) {
    int p = std::stoi(call.what.substr(0, call.what.find(':')));
    int i = std::stoi(call.what.substr(call.what.find(':') + 1));
    EXPECT_EQ(i, next[p]) << call.what;
    next[p] = i + 1;
  }
}

TEST(QueuedThread, AskingTwiceForAKeyGivesOneQueue) {
  CQenQueuedThread* pFirst = GetQueuedThread(1001);
  ASSERT_NE(pFirst, nullptr);
  EXPECT_EQ(GetQueuedThread(1001), pFirst);

  // First use of a key from several threads at once still makes one queue.
  std::vector<CQenQueuedThread*> seen(4, nullptr);
  std::vector<std::thread> askers;
  for (size_t i = 0; i < seen.size(); ++i)
    askers.emplace_back([&seen, i] { seen[i] = GetQueuedThread(77); });
  for (std::thread& asker : askers)
    asker.join();
  ASSERT_NE(seen[0], nullptr);
  for (CQenQueuedThread* pSeen : seen)
    EXPECT_EQ(pSeen, seen[0]);
  EXPECT_NE(seen[0], pFirst);
}

TEST(QueuedThread, NullTargetRunsNothingAndIsStillDeleted) {
  for (int32_t nKey : {1001, 0}) {
    SCOPED_TRACE("key " + std::to_string(nKey));
    CountedTarget target;
    QueueAction(nKey, new CQenQueuedAction1<CountedTarget, Counted>(&CountedTarget::Take, nullptr,
                                                                    Counted()));
    QueueAction(nKey, new CQenQueuedAction2<CountedTarget, Counted, int>(&CountedTarget::TakeTwo,
                                                                         nullptr, Counted(), 1));
    // A live target on the same queue shows the calls would have happened.
    QueueAction(nKey, new CQenQueuedAction2<CountedTarget, Counted, int>(&CountedTarget::TakeTwo,
                                                                         &target, Counted(), 2));
    if (nKey == 0) {
      EXPECT_TRUE(RunLoopUntil([&] { return Counted::s_nLive == 0; }));
    } else {
      Recorder recorder;
      ASSERT_TRUE(recorder.Drain(nKey));
    }
    EXPECT_EQ(target.m_nCalls, 1);
    EXPECT_EQ(Counted::s_nLive, 0);
  }
}

TEST(QueuedThread, ThrowingActionIsReleasedAndTheQueueGoesOn) {
  for (int32_t nKey : {1001, 0}) {
    SCOPED_TRACE("key " + std::to_string(nKey));
    Recorder recorder;
    QueueAction(nKey, new CQenQueuedAction1<Recorder, int>(&Recorder::Throw, &recorder, 0));
    PostNote(nKey, &recorder, "after");
    if (nKey == 0)
      ASSERT_TRUE(RunLoopUntil([&] { return recorder.Count() == 1; }));
    else
      ASSERT_TRUE(recorder.Drain(nKey));
    ASSERT_EQ(recorder.Count(), 1u);
    EXPECT_EQ(recorder.Calls()[0].what, "after");
  }
}

TEST(QueuedThread, KeyZeroRunsOnTheAskingThreadWhenItsLoopRuns) {
  CQenQueuedThread* pWindowQueue = GetQueuedThread(0);
  ASSERT_NE(pWindowQueue, nullptr);
  EXPECT_FALSE(pWindowQueue->m_hThread.joinable());
  EXPECT_EQ(pWindowQueue->m_dwThreadId, 0u);
  EXPECT_EQ(GetQueuedThread(0), pWindowQueue);

  Recorder recorder;
  PostNote(0, &recorder, "a");
  std::thread poster([&] {
    PostNote(0, &recorder, "b");
    QueueAction(0, new CQenQueuedAction2<Recorder, std::u16string, int>(&Recorder::NoteTwo, &recorder,
                                                                        u"c", 3));
  });
  poster.join();
  EXPECT_EQ(recorder.Count(), 0u) << "ran before the loop dispatched";

  ASSERT_TRUE(RunLoopUntil([&] { return recorder.Count() == 3; }));
  std::vector<Call> calls = recorder.Calls();
  EXPECT_EQ(calls[0].what, "a");
  EXPECT_EQ(calls[1].what, "b");
  EXPECT_EQ(calls[2].what, "c3");
  for (const Call& call : calls)
    EXPECT_EQ(call.thread, std::this_thread::get_id());
}

namespace {

// A key-0 action that runs a nested main loop (as a modal message box does)
// while another thread posts to key 0; the last posted action ends the loop.
class ModalRunner {
public:
  void RunModal(int nPosts) {
    m_recorder.Note("modal start");
    GMainLoop* pLoop = g_main_loop_new(nullptr, FALSE);
    m_pLoop = pLoop;
    std::thread poster([this, nPosts] {
      for (int i = 0; i < nPosts; ++i) {
        PostNote(0, &m_recorder, "nested " + std::to_string(i));
        if (i % 8 == 0)
          std::this_thread::sleep_for(1ms);
      }
      QueueAction(0, new CQenQueuedAction1<ModalRunner, int>(&ModalRunner::QuitModal, this, 0));
    });
    // Ends the nested loop if the queue stops dispatching inside it.
    guint nGuard = g_timeout_add_seconds(
        10, [](gpointer pData) {
          g_main_loop_quit(static_cast<GMainLoop*>(pData));
          return gboolean(G_SOURCE_REMOVE);
        },
        pLoop);
    g_main_loop_run(pLoop);
    poster.join();
    g_source_remove(nGuard);
    g_main_loop_unref(pLoop);
    m_pLoop = nullptr;
    m_recorder.Note("modal end");
  }
  void QuitModal(int) {
    m_recorder.Note("quit");
    if (m_pLoop != nullptr)
      g_main_loop_quit(m_pLoop);
  }

  Recorder m_recorder;
  GMainLoop* m_pLoop = nullptr;
};

}  // namespace

TEST(QueuedThread, KeyZeroKeepsRunningInOrderInsideANestedLoopStartedByAnAction) {
  ASSERT_NE(GetQueuedThread(0), nullptr);
  constexpr int kPosts = 50;
  ModalRunner runner;
  QueueAction(0, new CQenQueuedAction1<ModalRunner, int>(&ModalRunner::RunModal, &runner, kPosts));
  PostNote(0, &runner.m_recorder, "after modal");

  ASSERT_TRUE(RunLoopUntil([&] { return runner.m_recorder.Count() == kPosts + 4; }));
  std::vector<Call> calls = runner.m_recorder.Calls();
  ASSERT_EQ(calls.size(), size_t(kPosts + 4));
  // "after modal" was posted before the nested loop began, so FIFO puts it
  // first inside that loop.
  EXPECT_EQ(calls[0].what, "modal start");
  EXPECT_EQ(calls[1].what, "after modal");
  for (int i = 0; i < kPosts; ++i)
    EXPECT_EQ(calls[2 + i].what, "nested " + std::to_string(i));
  EXPECT_EQ(calls[kPosts + 2].what, "quit");
  EXPECT_EQ(calls[kPosts + 3].what, "modal end");
  for (const Call& call : calls)
    EXPECT_EQ(call.thread, std::this_thread::get_id());
}
