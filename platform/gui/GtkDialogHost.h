// The main window on GTK 3: a fixed-size top-level window around the WebKit
// view, with a header bar whose menu button carries the system-menu entries,
// warning message boxes, the About box and the browser hand-off.
// Create and use on the thread that called gtk_init.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/HtmlView.h"

class CAboutDlg;

namespace platform {

class WebKitHtmlView;

// "&About..." -> "_About...": "&&" is a literal "&" and a literal "_" is doubled.
std::string MnemonicFromAccessKeyText(const std::u16string& text);

class GtkDialogHost final : public IDialogHost {
public:
  GtkDialogHost();
  ~GtkDialogHost() override;
  GtkDialogHost(const GtkDialogHost&) = delete;
  GtkDialogHost& operator=(const GtkDialogHost&) = delete;

  IHtmlView& View() override;
  void SetTitle(const std::u16string& title) override;
  void SetIcons() override;
  void AppendSystemMenuItem(unsigned int id, const std::u16string& text) override;
  void ShowMessageBox(const std::u16string& text) override;
  void ShowAboutBox() override;
  void OpenUrl(const std::u16string& url) override;
  // Once per host: later calls return 2 at once.
  int RunModal(IDialogHostEvents& events, IHtmlViewEvents& viewEvents) override;

private:
  static gboolean OnDeleteEvent(GtkWidget* pWidget, GdkEvent* pEvent, gpointer pData);
  static void OnGdkEvent(GdkEvent* pEvent, gpointer pData);
  static void OnMenuItemActivate(GtkMenuItem* pItem, gpointer pData);
  // Ends the modal run: open boxes close first, then the loop returns.
  void EndModal(int nResult);

  std::unique_ptr<WebKitHtmlView> m_view;
  GtkWidget* m_pWindow = nullptr;  // toplevel: GTK owns it until gtk_widget_destroy
  GtkWidget* m_pMenuButton = nullptr;
  GtkWidget* m_pMenu = nullptr;
  GMainLoop* m_pLoop = nullptr;
  IDialogHostEvents* m_pEvents = nullptr;
  std::vector<GtkDialog*> m_openBoxes;  // message boxes whose nested loops run
  std::vector<CAboutDlg*> m_openAbout;
  std::string m_strCaption;  // the program's file name without extension
  int m_nResult = 2;
  bool m_bRan = false;
  bool m_bEnded = false;
};

}  // namespace platform
