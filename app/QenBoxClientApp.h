// The program's start-up and shutdown around the main window.
#pragma once

#include "app/QenBoxClientDlg.h"
#include "platform/gui/HtmlView.h"

// Runs the main window on host until it closes, then stops the worker queues
// and destroys the window. Call on the thread whose GLib main loop the window
// runs on. Always returns 0.
int RunQenBoxClientApp(platform::IDialogHost& host, CQenBoxClientDlg::Seams seams = {});
