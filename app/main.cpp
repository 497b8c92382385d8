// The program's entry: GTK, then the main window's host, handed to the
// application start-up, which runs the window and stops the workers.
#include <glib.h>
#include <gtk/gtk.h>

#include "app/QenBoxClientApp.h"
#include "platform/gui/GtkDialogHost.h"

int main(int argc, char** argv) {
  g_set_prgname("QenBoxClient");  // the window class the desktop file names
  g_set_application_name("QenBox Client");
  gtk_init(&argc, &argv);  // also takes the locale from the environment
  int nResult = 0;
  {
    platform::GtkDialogHost host;
    nResult = RunQenBoxClientApp(host);
  }
  return nResult;
}
