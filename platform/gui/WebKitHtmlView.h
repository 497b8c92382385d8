// The main window's HTML view: a WebKitGTK view that shows the embedded pages
// through the "res" scheme and reports loads and clicks. Window thread only.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <string>

#include "platform/gui/GObjectPtr.h"
#include "platform/gui/HtmlView.h"

namespace platform {

class WebKitHtmlView final : public IHtmlView {
public:
  // Page n is loaded from "res://" + <program path> + "/" + n.
  explicit WebKitHtmlView(const std::string& programPath);
  ~WebKitHtmlView() override;
  WebKitHtmlView(const WebKitHtmlView&) = delete;
  WebKitHtmlView& operator=(const WebKitHtmlView&) = delete;

  // The view's widget; the window packs it and the view keeps its own reference.
  GtkWidget* Widget() const;
  // Where loads and clicks are reported; null stops the reports. Not owned.
  void SetEvents(IHtmlViewEvents* pEvents);
  // The window is going away: reports stop and further calls do nothing.
  void Close();

  void LoadPage(int page) override;
  void SetElementText(const std::u16string& id, const std::u16string& text) override;
  std::u16string GetElementValue(const std::u16string& id) override;
  void SetInputValue(const std::u16string& id, const std::u16string& text) override;
  void FocusElement(const std::u16string& id) override;

  // The "res" scheme's prefix for this program, e.g. "res:///usr/bin/QenBoxClient".
  const std::string& BaseUri() const { return m_strBaseUri; }

private:
  static void OnSchemeRequest(WebKitURISchemeRequest* pRequest, gpointer pData);
  static void OnLoadChanged(WebKitWebView* pView, WebKitLoadEvent event, gpointer pData);
  static gboolean OnLoadFailed(WebKitWebView* pView, WebKitLoadEvent event, gchar* pszUri, GError* pError,
                               gpointer pData);
  static gboolean OnDecidePolicy(WebKitWebView* pView, WebKitPolicyDecision* pDecision,
                                 WebKitPolicyDecisionType type, gpointer pData);
  static gboolean OnContextMenu(WebKitWebView* pView, WebKitContextMenu* pMenu, GdkEvent* pEvent,
                                WebKitHitTestResult* pHit, gpointer pData);
  static void OnScriptMessage(WebKitUserContentManager* pManager, WebKitJavascriptResult* pResult,
                              gpointer pData);
  // Runs body in the page with id and text bound as variables.
  void CallPageFunction(const char* pszWhat, const char* pszBody, const std::u16string& id,
                        const std::u16string* pText);

  std::string m_strBaseUri;
  GObjectPtr<WebKitWebContext> m_context;
  GObjectPtr<WebKitUserContentManager> m_contentManager;
  GObjectPtr<GtkWidget> m_view;  // sunk reference: the widget outlives its container
  IHtmlViewEvents* m_pEvents = nullptr;
  // Element values as the page reported them at the latest click.
  std::map<std::u16string, std::u16string> m_values;
  bool m_bLoadCancelled = false;  // the next WEBKIT_LOAD_FINISHED ends a replaced load
  bool m_bClosed = false;
};

}  // namespace platform
