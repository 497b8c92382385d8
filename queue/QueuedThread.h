// Queued threads: numbered queues of actions, each run one at a time in
// posting order on the queue's own thread. Key 0 has no thread of its own: it
// is drained by the GLib main loop of the thread that first asks for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Event.h"
#include "platform/MainLoopQueue.h"
#include "queue/QueuedAction.h"
#include "queue/SyncObjects.h"

class CQenQueuedThread {
public:
  explicit CQenQueuedThread(int32_t nKey);
  virtual ~CQenQueuedThread();
  CQenQueuedThread(const CQenQueuedThread&) = delete;
  CQenQueuedThread& operator=(const CQenQueuedThread&) = delete;

  // Key 0: binds the queue to the calling thread's main loop. Otherwise starts
  // the worker thread; a worker that cannot start leaves a queue that refuses
  // every action.
  void Start();
  // The worker's body: runs queued actions until the quit request.
  virtual void Run();

  // Takes ownership of pAction when it returns true; false when this queue
  // does not (or no longer) accept actions.
  bool Post(IQenQueuedAction* pAction);
  // Queues the quit request behind every action posted so far; later posts
  // are refused.
  void PostQuit();
  // true once Run has returned, waiting at most dwTimeout ms.
  bool WaitEnded(uint32_t dwTimeout);

  bool IsWorker() const { return m_nKey != 0; }

  // The key-0 queue, on the thread that created it.
  std::unique_ptr<platform::MainLoopQueue> m_pWindowQueue;
  std::thread m_hThread;
  uint32_t m_dwThreadId = 0;  // kernel id of the worker, 0 for key 0
  int32_t m_nKey;
  CQenEventObject m_eventStarted;

private:
  mutable std::mutex m_mutexActions;
  std::condition_variable m_cvActions;
  std::deque<IQenQueuedAction*> m_actions;  // a null entry is the quit request
  bool m_bAccepting = false;
  platform::Event m_eventEnded;
};

// The queue for nKey, created and started on first use; for a nonzero key it
// returns once the worker runs. Null once StopAllQueuedThreads has begun.
CQenQueuedThread* GetQueuedThread(int32_t nKey);

// Posts pAction to the queue for nKey and gives it to that queue; when the
// queue cannot take it, the action is released without running.
void QueueAction(int32_t nKey, IQenQueuedAction* pAction);

// Tells every worker to quit after its pending actions, waits for all of them
// together at most 5000 ms, then releases the queues. Called once at exit.
void StopAllQueuedThreads();
