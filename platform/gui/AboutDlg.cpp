#include "platform/gui/AboutDlg.h"

#include "platform/gui/DialogUnits.h"
#include "platform/gui/EmbeddedResources.h"
#include "platform/gui/GObjectPtr.h"
#include "platform/gui/TestTrace.h"

using platform::DialogUnitsToPixelsX;
using platform::DialogUnitsToPixelsY;

namespace {

constexpr char kCaption[] = "About QenBox Client";
constexpr char kVersionLine[] = "QenBox Client, Version 1.0";
constexpr char kRights[] = "Copyright (C) QenNote. All rights reserved.";

void Place(GtkFixed* pFixed, GtkWidget* pChild, int x, int y) {
  gtk_fixed_put(pFixed, pChild, DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y));
}

void OnOkClicked(GtkButton*, gpointer pDialog) { gtk_dialog_response(GTK_DIALOG(pDialog), GTK_RESPONSE_OK); }

}  // namespace

CAboutDlg::CAboutDlg(GtkWindow* pParent) : m_pParent(pParent) {}

int CAboutDlg::DoModal() {
  // Template 100: 170 x 62 units; items at their template positions.
  GtkWidget* pDialog = gtk_dialog_new();
  g_object_ref(pDialog);  // survives a destroy by its parent while the loop runs
  m_pDialog = pDialog;
  GtkWindow* pWindow = GTK_WINDOW(pDialog);
  gtk_window_set_title(pWindow, kCaption);
  gtk_window_set_modal(pWindow, TRUE);
  gtk_window_set_resizable(pWindow, FALSE);
  gtk_window_set_skip_taskbar_hint(pWindow, TRUE);
  gtk_window_set_type_hint(pWindow, GDK_WINDOW_TYPE_HINT_DIALOG);
  if (m_pParent != nullptr) {
    gtk_window_set_transient_for(pWindow, m_pParent);
    gtk_window_set_destroy_with_parent(pWindow, TRUE);
    gtk_window_set_position(pWindow, GTK_WIN_POS_CENTER_ON_PARENT);
  }

  GtkWidget* pContent = gtk_dialog_get_content_area(GTK_DIALOG(pDialog));
  gtk_container_set_border_width(GTK_CONTAINER(pContent), 0);
  GtkWidget* pFixed = gtk_fixed_new();
  gtk_widget_set_size_request(pFixed, DialogUnitsToPixelsX(170), DialogUnitsToPixelsY(62));
  gtk_box_pack_start(GTK_BOX(pContent), pFixed, TRUE, TRUE, 0);

  // Item 1: the icon in its 20 x 20 unit box.
  platform::GObjectPtr<GdkPixbuf> icon(platform::LoadProgramIcon(32));
  if (icon != nullptr)
    Place(GTK_FIXED(pFixed), gtk_image_new_from_pixbuf(icon.get()), 14, 14);
  // Items 2 and 3: the version line (no mnemonic processing) and the notice.
  GtkWidget* pVersion = gtk_label_new(kVersionLine);
  gtk_label_set_xalign(GTK_LABEL(pVersion), 0.0f);
  Place(GTK_FIXED(pFixed), pVersion, 42, 14);
  GtkWidget* pRights = gtk_label_new(kRights);
  gtk_label_set_xalign(GTK_LABEL(pRights), 0.0f);
  Place(GTK_FIXED(pFixed), pRights, 42, 26);
  // Item 4: the default OK button, 50 x 14 units.
  GtkWidget* pOk = gtk_button_new_with_mnemonic("OK");
  gtk_widget_set_size_request(pOk, DialogUnitsToPixelsX(50), DialogUnitsToPixelsY(14));
  gtk_widget_set_can_default(pOk, TRUE);
  g_signal_connect(pOk, "clicked", G_CALLBACK(OnOkClicked), pDialog);
  Place(GTK_FIXED(pFixed), pOk, 113, 41);

  gtk_widget_show_all(pDialog);
  gtk_widget_grab_default(pOk);
  gtk_widget_grab_focus(pOk);
  platform::TestTrace("about", "open");
  // Escape and the close button answer GTK_RESPONSE_DELETE_EVENT.
  const int nResponse = gtk_dialog_run(GTK_DIALOG(pDialog));
  platform::TestTrace("about", "closed");
  m_pDialog = nullptr;
  gtk_widget_destroy(pDialog);
  g_object_unref(pDialog);
  return nResponse == GTK_RESPONSE_OK ? 1 : 2;  // IDOK, IDCANCEL
}

void CAboutDlg::EndDialog(int nResult) {
  if (m_pDialog != nullptr)
    gtk_dialog_response(GTK_DIALOG(m_pDialog), nResult == 1 ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL);
}
