#include "platform/MainLoopQueue.h"

#include <glib.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <new>

namespace platform {

struct MainLoopQueueState {
  std::mutex mutex;
  std::deque<void*> items;
  bool bClosed = false;
  MainLoopQueue::ItemFn pfnRun = nullptr;
  MainLoopQueue::ItemFn pfnDiscard = nullptr;

  bool HasItems() {
    std::lock_guard<std::mutex> lock(mutex);
    return !items.empty();
  }
};

namespace {

// The state is constructed in place behind the GSource header, so it lives
// exactly as long as GLib keeps the source (a dispatch in progress holds a
// reference even after the owner has let go).
struct QueueSource {
  GSource source;
  alignas(std::max_align_t) unsigned char state[sizeof(MainLoopQueueState)];
};

MainLoopQueueState* StateOf(GSource* pSource) {
  return std::launder(reinterpret_cast<MainLoopQueueState*>(
      reinterpret_cast<QueueSource*>(pSource)->state));
}

gboolean QueuePrepare(GSource* pSource, gint* pTimeout) {
  *pTimeout = -1;
  return StateOf(pSource)->HasItems();
}

gboolean QueueCheck(GSource* pSource) {
  return StateOf(pSource)->HasItems();
}

// One item per dispatch, popped under the lock and run outside it: an item
// may run a nested main loop that dispatches this source again.
gboolean QueueDispatch(GSource* pSource, GSourceFunc, gpointer) {
  MainLoopQueueState* pState = StateOf(pSource);
  void* pItem = nullptr;
  MainLoopQueue::ItemFn pfnRun = nullptr;
  {
    std::lock_guard<std::mutex> lock(pState->mutex);
    if (pState->bClosed || pState->items.empty())
      return G_SOURCE_CONTINUE;
    pItem = pState->items.front();
    pState->items.pop_front();
    pfnRun = pState->pfnRun;
  }
  pfnRun(pItem);
  return G_SOURCE_CONTINUE;
}

void QueueFinalize(GSource* pSource) {
  MainLoopQueueState* pState = StateOf(pSource);
  for (void* pItem : pState->items)
    pState->pfnDiscard(pItem);
  pState->~MainLoopQueueState();
}

GSourceFuncs g_queueSourceFuncs = {QueuePrepare, QueueCheck, QueueDispatch, QueueFinalize,
                                   nullptr, nullptr};

}  // namespace

MainLoopQueue::MainLoopQueue(ItemFn pfnRun, ItemFn pfnDiscard) {
  m_pContext = g_main_context_ref_thread_default();
  m_pSource = g_source_new(&g_queueSourceFuncs, sizeof(QueueSource));
  auto* pRaw = reinterpret_cast<QueueSource*>(m_pSource)->state;
  m_pState = ::new (static_cast<void*>(pRaw)) MainLoopQueueState();
  m_pState->pfnRun = pfnRun;
  m_pState->pfnDiscard = pfnDiscard;
  g_source_set_can_recurse(m_pSource, TRUE);
  g_source_set_name(m_pSource, "CQenQueuedThreadWindow");
  g_source_attach(m_pSource, m_pContext);
}

MainLoopQueue::~MainLoopQueue() {
  std::deque<void*> pending;
  {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    m_pState->bClosed = true;
    pending.swap(m_pState->items);
  }
  for (void* pItem : pending)
    m_pState->pfnDiscard(pItem);
  g_source_destroy(m_pSource);
  g_source_unref(m_pSource);
  g_main_context_unref(m_pContext);
}

bool MainLoopQueue::Post(void* pItem) {
  {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    if (m_pState->bClosed)
      return false;
    m_pState->items.push_back(pItem);
  }
  g_main_context_wakeup(m_pContext);
  return true;
}

}  // namespace platform
