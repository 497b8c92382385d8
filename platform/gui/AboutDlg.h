// The About box: icon, version line, rights notice and OK, laid out from its
// dialog template (100) in dialog units. Window thread only.
#pragma once

#include <gtk/gtk.h>

class CAboutDlg {
public:
  explicit CAboutDlg(GtkWindow* pParent);
  CAboutDlg(const CAboutDlg&) = delete;
  CAboutDlg& operator=(const CAboutDlg&) = delete;

  // Modal to the parent in a nested main loop; returns once OK, Escape or the
  // close button has closed the box (or EndDialog was called).
  int DoModal();
  // Closes a box that DoModal is running, e.g. when its parent closes.
  void EndDialog(int nResult);

private:
  GtkWindow* m_pParent;
  GtkWidget* m_pDialog = nullptr;
};
