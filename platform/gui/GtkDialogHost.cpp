#include "platform/gui/GtkDialogHost.h"

#include <algorithm>

#include "platform/Process.h"
#include "platform/Utf.h"
#include "platform/gui/AboutDlg.h"
#include "platform/gui/EmbeddedResources.h"
#include "platform/gui/TestTrace.h"
#include "platform/gui/WebKitHtmlView.h"

namespace platform {

namespace {

constexpr char kTemplateCaption[] = "QenBox Client";
constexpr char kMenuIdKey[] = "qenbox-command-id";
constexpr int kIconSizes[] = {16, 32, 48, 64, 128};

// The message-box caption is the program's file name without its extension.
std::string CaptionFromProgramPath(const std::string& path) {
  g_autofree gchar* pszBase = g_path_get_basename(path.c_str());
  std::string name = pszBase;
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0)
    name.erase(dot);
  return name.empty() || name == "/" || name == "." ? "QenBoxClient" : name;
}

}  // namespace

std::string MnemonicFromAccessKeyText(const std::u16string& text) {
  std::u16string out;
  for (std::u16string::size_type i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'&') {
      if (i + 1 < text.size() && text[i + 1] == u'&') {
        out += u'&';
        ++i;
      } else {
        out += u'_';
      }
    } else if (c == u'_') {
      out += u"__";
    } else {
      out += c;
    }
  }
  return Utf16ToUtf8(out);
}

GtkDialogHost::GtkDialogHost() {
  const std::string programPath = Utf16ToUtf8(GetModuleFileName());
  m_strCaption = CaptionFromProgramPath(programPath);
  m_view = std::make_unique<WebKitHtmlView>(programPath);

  m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* pWindow = GTK_WINDOW(m_pWindow);
  gtk_window_set_title(pWindow, kTemplateCaption);
  // Fixed size: the window takes the view's size request, the template's client area.
  gtk_window_set_resizable(pWindow, FALSE);
  gtk_window_set_position(pWindow, GTK_WIN_POS_CENTER);

  // GTK windows have no system menu of their own: its entries go into a menu
  // button at the start of the title bar, where the system menu sits.
  GtkWidget* pHeader = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(pHeader), TRUE);
  gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(pHeader), ":minimize,close");  // no maximise
  m_pMenu = gtk_menu_new();
  m_pMenuButton = gtk_menu_button_new();
  gtk_menu_button_set_popup(GTK_MENU_BUTTON(m_pMenuButton), m_pMenu);
  gtk_button_set_image(GTK_BUTTON(m_pMenuButton),
                       gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON));
  gtk_widget_set_no_show_all(m_pMenuButton, TRUE);  // shown with its first entry
  gtk_header_bar_pack_start(GTK_HEADER_BAR(pHeader), m_pMenuButton);
  gtk_window_set_titlebar(pWindow, pHeader);

  gtk_container_add(GTK_CONTAINER(m_pWindow), m_view->Widget());
  g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(&GtkDialogHost::OnDeleteEvent), this);
  m_pLoop = g_main_loop_new(nullptr, FALSE);
}

GtkDialogHost::~GtkDialogHost() {
  if (m_pWindow != nullptr)
    gtk_widget_destroy(m_pWindow);
  m_view.reset();
  g_main_loop_unref(m_pLoop);
}

IHtmlView& GtkDialogHost::View() { return *m_view; }

void GtkDialogHost::SetTitle(const std::u16string& title) {
  const std::string text = Utf16ToUtf8(title);
  TestTrace("title", text);
  if (m_pWindow != nullptr)
    gtk_window_set_title(GTK_WINDOW(m_pWindow), text.c_str());
}

void GtkDialogHost::SetIcons() {
  GList* pIcons = nullptr;
  for (int size : kIconSizes) {
    if (GdkPixbuf* pIcon = LoadProgramIcon(size))
      pIcons = g_list_append(pIcons, pIcon);
  }
  if (pIcons == nullptr)
    return;
  if (m_pWindow != nullptr)
    gtk_window_set_icon_list(GTK_WINDOW(m_pWindow), pIcons);
  gtk_window_set_default_icon_list(pIcons);  // the boxes carry it too
  g_list_free_full(pIcons, g_object_unref);
}

void GtkDialogHost::AppendSystemMenuItem(unsigned int id, const std::u16string& text) {
  if (m_pMenu == nullptr)
    return;
  const std::string label = MnemonicFromAccessKeyText(text);
  TestTrace("menu", label);
  // The separator parts the entry from the ones before it; an empty menu has none.
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(m_pMenu));
  if (children != nullptr) {
    GtkWidget* pSeparator = gtk_separator_menu_item_new();
    gtk_widget_show(pSeparator);
    gtk_menu_shell_append(GTK_MENU_SHELL(m_pMenu), pSeparator);
  }
  GtkWidget* pItem = gtk_menu_item_new_with_mnemonic(label.c_str());
  g_object_set_data(G_OBJECT(pItem), kMenuIdKey, GUINT_TO_POINTER(id));
  g_signal_connect(pItem, "activate", G_CALLBACK(&GtkDialogHost::OnMenuItemActivate), this);
  gtk_widget_show(pItem);
  gtk_menu_shell_append(GTK_MENU_SHELL(m_pMenu), pItem);
  gtk_widget_show(m_pMenuButton);
}

void GtkDialogHost::ShowMessageBox(const std::u16string& text) {
  const std::string message = Utf16ToUtf8(text);
  if (m_bEnded || m_pWindow == nullptr) {
    TestTrace("message-dropped", message);
    return;
  }
  GtkWidget* pBox = gtk_message_dialog_new(GTK_WINDOW(m_pWindow),
                                           static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL |
                                                                       GTK_DIALOG_DESTROY_WITH_PARENT),
                                           GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s", message.c_str());
  g_object_ref(pBox);
  gtk_window_set_title(GTK_WINDOW(pBox), m_strCaption.c_str());
  // GTK 3 message dialogs draw no icon of their own: put the warning sign
  // before the text, where the message area's row keeps its place.
  GtkWidget* pMessageArea = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(pBox));
  GtkWidget* pRow = gtk_widget_get_parent(pMessageArea);
  if (GTK_IS_BOX(pRow)) {
    GtkWidget* pIcon = gtk_image_new_from_icon_name("dialog-warning", GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(pIcon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(pRow), pIcon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(pRow), pIcon, 0);
    gtk_widget_show(pIcon);
  }
  m_openBoxes.push_back(GTK_DIALOG(pBox));
  TestTrace("message", message);
  // Nested loop: the window queue's actions keep running while the box is open.
  gtk_dialog_run(GTK_DIALOG(pBox));
  TestTrace("message-closed", message);
  m_openBoxes.erase(std::remove(m_openBoxes.begin(), m_openBoxes.end(), GTK_DIALOG(pBox)), m_openBoxes.end());
  gtk_widget_destroy(pBox);
  g_object_unref(pBox);
}

void GtkDialogHost::ShowAboutBox() {
  if (m_bEnded || m_pWindow == nullptr)
    return;
  CAboutDlg about(GTK_WINDOW(m_pWindow));
  m_openAbout.push_back(&about);
  about.DoModal();
  m_openAbout.erase(std::remove(m_openAbout.begin(), m_openAbout.end(), &about), m_openAbout.end());
}

void GtkDialogHost::OpenUrl(const std::u16string& url) {
  const std::string uri = Utf16ToUtf8(url);
  TestTrace("open-url", uri);
  // The outcome is not examined: a URL nothing can open fails silently.
  g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr);
}

int GtkDialogHost::RunModal(IDialogHostEvents& events, IHtmlViewEvents& viewEvents) {
  if (m_bRan || m_pWindow == nullptr)
    return 2;
  m_bRan = true;
  m_pEvents = &events;
  m_view->SetEvents(&viewEvents);
  events.OnInitDialog();
  if (!m_bEnded) {
    gtk_widget_show_all(m_pWindow);
    gtk_widget_grab_focus(m_view->Widget());
    TestTrace("window", "shown");
    gdk_event_handler_set(&GtkDialogHost::OnGdkEvent, this, nullptr);
    g_main_loop_run(m_pLoop);
    gdk_event_handler_set([](GdkEvent* pEvent, gpointer) { gtk_main_do_event(pEvent); }, nullptr, nullptr);
  }
  // The window goes now, as a dialog's window goes when its modal run ends;
  // the view ignores what the controller still asks of it.
  m_view->SetEvents(nullptr);
  m_view->Close();
  m_pEvents = nullptr;
  gtk_widget_destroy(m_pWindow);
  m_pWindow = nullptr;
  m_pMenu = nullptr;
  m_pMenuButton = nullptr;
  gdk_display_flush(gdk_display_get_default());  // gone from the screen before shutdown waits
  TestTrace("window", "closed");
  return m_nResult;
}

// GTK drops a close request for a window outside the grab of an open modal
// box, so the main window could not be closed while a message or the About
// box is up. Closing it ends those boxes and the run, as closing it otherwise does.
void GtkDialogHost::OnGdkEvent(GdkEvent* pEvent, gpointer pData) {
  auto* pThis = static_cast<GtkDialogHost*>(pData);
  if (pEvent->type == GDK_DELETE && pThis->m_pWindow != nullptr &&
      pEvent->any.window == gtk_widget_get_window(pThis->m_pWindow) &&
      (!pThis->m_openBoxes.empty() || !pThis->m_openAbout.empty())) {
    TestTrace("window", "close-request-with-box-open");
    pThis->EndModal(2);
    return;
  }
  gtk_main_do_event(pEvent);
}

gboolean GtkDialogHost::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer pData) {
  static_cast<GtkDialogHost*>(pData)->EndModal(2);  // IDCANCEL, as a closed dialog ends
  return TRUE;
}

void GtkDialogHost::OnMenuItemActivate(GtkMenuItem* pItem, gpointer pData) {
  auto* pThis = static_cast<GtkDialogHost*>(pData);
  const unsigned int id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(pItem), kMenuIdKey));
  TestTrace("sys-command", std::to_string(id));
  if (pThis->m_pEvents != nullptr && !pThis->m_bEnded)
    pThis->m_pEvents->OnSysCommand(id);
}

void GtkDialogHost::EndModal(int nResult) {
  if (m_bEnded)
    return;
  m_bEnded = true;
  m_nResult = nResult;
  // Boxes still open end their nested loops first, so the run can return.
  for (GtkDialog* pBox : m_openBoxes)
    gtk_dialog_response(pBox, GTK_RESPONSE_DELETE_EVENT);
  for (CAboutDlg* pAbout : m_openAbout)
    pAbout->EndDialog(2);
  g_main_loop_quit(m_pLoop);
}

}  // namespace platform
