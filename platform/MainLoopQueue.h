// A first-in-first-out queue of items drained by the GLib main loop of the
// thread that creates it: the stand-in for a hidden window that receives
// posted messages on the user-interface thread.
#pragma once

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace platform {

struct MainLoopQueueState;

class MainLoopQueue {
public:
  using ItemFn = void (*)(void* pItem);

  // Attaches to the calling thread's thread-default main context. pfnRun gets
  // each item on that thread, one per dispatch, in posting order; pfnDiscard
  // gets the items that are still pending when the queue is destroyed.
  MainLoopQueue(ItemFn pfnRun, ItemFn pfnDiscard);
  // Detaches from the loop and discards what is pending. Must not race with Post.
  ~MainLoopQueue();
  MainLoopQueue(const MainLoopQueue&) = delete;
  MainLoopQueue& operator=(const MainLoopQueue&) = delete;

  // Callable from any thread; wakes the owning loop. false when the queue no
  // longer accepts items (the caller keeps the item).
  bool Post(void* pItem);

private:
  GMainContext* m_pContext = nullptr;
  GSource* m_pSource = nullptr;
  MainLoopQueueState* m_pState = nullptr;  // lives inside m_pSource
};

}  // namespace platform
