#include "queue/QueuedThread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <map>
#include <system_error>
#include <vector>

#include "platform/Process.h"

namespace {

constexpr uint32_t kStopTimeoutMs = 5000;

// An action must not take its queue down with it (nor unwind through the
// GLib dispatcher): report on stderr, release it and go on with the next one.
void ExecuteAndRelease(IQenQueuedAction* pAction, int32_t nKey) {
  try {
    pAction->Execute();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "QenBoxClient: queued action on key %d failed: %s\n", nKey, e.what());
  } catch (...) {
    std::fprintf(stderr, "QenBoxClient: queued action on key %d failed\n", nKey);
  }
  pAction->Release();
}

void RunWindowItem(void* pItem) {
  ExecuteAndRelease(static_cast<IQenQueuedAction*>(pItem), 0);
}

void DiscardWindowItem(void* pItem) {
  static_cast<IQenQueuedAction*>(pItem)->Release();
}

// The registry is created on first use and never destroyed: a worker that
// outlives the shutdown wait may still look a queue up while static
// destructors run at exit. Such workers are detached and their queue objects
// are kept in m_abandoned (never freed), so a late worker never touches freed
// memory; the process end stops them.
struct QueueRegistry {
  CQenCriticalSectionObject m_lock;
  std::map<int32_t, CQenQueuedThread*> m_threads;
  std::vector<CQenQueuedThread*> m_abandoned;
  bool m_bStopping = false;
};

QueueRegistry& Registry() {
  static QueueRegistry* s_pRegistry = new QueueRegistry;
  return *s_pRegistry;
}

}  // namespace

CQenQueuedThread::CQenQueuedThread(int32_t nKey) : m_nKey(nKey) {
  m_eventStarted.m_hObject = std::make_unique<platform::Event>();
}

CQenQueuedThread::~CQenQueuedThread() {
  // Only reached for a worker that has ended (or never started).
  if (m_hThread.joinable())
    m_hThread.join();
  std::deque<IQenQueuedAction*> pending;
  {
    std::lock_guard<std::mutex> lock(m_mutexActions);
    pending.swap(m_actions);
  }
  for (IQenQueuedAction* pAction : pending) {
    if (pAction != nullptr)
      pAction->Release();
  }
}

void CQenQueuedThread::Start() {
  if (m_hThread.joinable() || m_pWindowQueue)
    return;
  if (m_nKey == 0) {
    m_pWindowQueue = std::make_unique<platform::MainLoopQueue>(RunWindowItem, DiscardWindowItem);
    return;
  }
  try {
    m_hThread = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "QenBoxClient: cannot start queued thread %d: %s\n", m_nKey, e.what());
    m_eventEnded.Set();
  }
}

void CQenQueuedThread::Run() {
  m_dwThreadId = platform::GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> lock(m_mutexActions);
    m_bAccepting = true;
  }
  m_eventStarted.m_hObject->Set();

  for (;;) {
    IQenQueuedAction* pAction = nullptr;
    {
      std::unique_lock<std::mutex> lock(m_mutexActions);
      m_cvActions.wait(lock, [this] { return !m_actions.empty(); });
      pAction = m_actions.front();
      m_actions.pop_front();
    }
    if (pAction == nullptr)
      break;
    ExecuteAndRelease(pAction, m_nKey);
  }
  // Last touch of this object: the stopper may delete it once this is seen.
  m_eventEnded.Set();
}

bool CQenQueuedThread::Post(IQenQueuedAction* pAction) {
  if (m_pWindowQueue)
    return m_pWindowQueue->Post(pAction);
  {
    std::lock_guard<std::mutex> lock(m_mutexActions);
    if (!m_bAccepting)
      return false;
    m_actions.push_back(pAction);
  }
  m_cvActions.notify_one();
  return true;
}

void CQenQueuedThread::PostQuit() {
  {
    std::lock_guard<std::mutex> lock(m_mutexActions);
    if (!m_bAccepting)
      return;
    m_bAccepting = false;
    m_actions.push_back(nullptr);
  }
  m_cvActions.notify_one();
}

bool CQenQueuedThread::WaitEnded(uint32_t dwTimeout) {
  return m_eventEnded.Wait(dwTimeout);
}

CQenQueuedThread* GetQueuedThread(int32_t nKey) {
  QueueRegistry& registry = Registry();
  CQenSingleLock lock(&registry.m_lock);
  if (registry.m_bStopping)
    return nullptr;
  auto it = registry.m_threads.find(nKey);
  if (it != registry.m_threads.end())
    return it->second;

  auto pThread = std::make_unique<CQenQueuedThread>(nKey);
  pThread->Start();
  // A worker that could not start never signals; its queue refuses actions.
  if (nKey != 0 && pThread->m_hThread.joinable())
    pThread->m_eventStarted.Lock(INFINITE);
  CQenQueuedThread* pResult = pThread.release();
  registry.m_threads[nKey] = pResult;
  return pResult;
}

void QueueAction(int32_t nKey, IQenQueuedAction* pAction) {
  if (pAction == nullptr)
    return;
  // The registry lock stays held while posting, so the queue cannot be
  // destroyed between the lookup and the post.
  QueueRegistry& registry = Registry();
  CQenSingleLock lock(&registry.m_lock);
  CQenQueuedThread* pThread = GetQueuedThread(nKey);
  if (pThread == nullptr || !pThread->Post(pAction))
    pAction->Release();
}

void StopAllQueuedThreads() {
  QueueRegistry& registry = Registry();
  std::vector<CQenQueuedThread*> workers;
  {
    CQenSingleLock lock(&registry.m_lock);
    if (registry.m_bStopping)
      return;
    registry.m_bStopping = true;
    for (auto& entry : registry.m_threads) {
      if (entry.second->IsWorker()) {
        entry.second->PostQuit();
        workers.push_back(entry.second);
      }
    }
  }

  // One deadline for all workers together.
  std::vector<bool> ended(workers.size(), false);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopTimeoutMs);
  for (size_t i = 0; i < workers.size(); ++i) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    uint32_t dwLeft = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
    ended[i] = workers[i]->WaitEnded(dwLeft);
  }

  CQenSingleLock lock(&registry.m_lock);
  for (auto& entry : registry.m_threads) {
    CQenQueuedThread* pThread = entry.second;
    size_t i = 0;
    while (i < workers.size() && workers[i] != pThread)
      ++i;
    if (i < workers.size() && !ended[i]) {
      // Still busy after the wait: it runs on, detached, with its queue object.
      pThread->m_hThread.detach();
      registry.m_abandoned.push_back(pThread);
    } else {
      delete pThread;
    }
  }
  registry.m_threads.clear();
}
