#include "app/QenBoxClientApp.h"

#include <memory>
#include <utility>

#include "queue/QueuedThread.h"

namespace {

// The window object left to a worker that outlived the shutdown wait; kept
// reachable on purpose.
CQenBoxClientDlg* volatile g_pOutlivedDialog = nullptr;

}  // namespace

int RunQenBoxClientApp(platform::IDialogHost& host, CQenBoxClientDlg::Seams seams) {
  auto pDialog = std::make_unique<CQenBoxClientDlg>(host, std::move(seams));
  // However the window was closed, the same steps follow.
  host.RunModal(*pDialog, *pDialog);
  StopAllQueuedThreads();
  // A worker that outlived the shutdown wait (a search can block for hours)
  // still runs a method of the window object, so that object is left alive
  // until the process ends. Its results never show: the window queue refuses
  // them from now on.
  if (pDialog->HasWorkerActions())
    g_pOutlivedDialog = pDialog.release();
  return 0;
}
