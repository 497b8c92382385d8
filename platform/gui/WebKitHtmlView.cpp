#include "platform/gui/WebKitHtmlView.h"

#include <libsoup/soup.h>

#include <cstring>

#include "platform/Utf.h"
#include "platform/gui/DialogUnits.h"
#include "platform/gui/EmbeddedResources.h"
#include "platform/gui/TestTrace.h"

namespace platform {

namespace {

constexpr char kScheme[] = "res";
constexpr char kMessageHandler[] = "qenbox";

// Reports each click with the id of the nearest element that has one and the
// "value" of every element whose value is text, as it is at the click: the
// window reads the form from this snapshot. Capturing, so nothing on the page
// can keep a click from being seen.
constexpr char kClickListener[] = R"js(
(function () {
  if (window.__qenboxClicks) return;
  window.__qenboxClicks = true;
  document.addEventListener('click', function (event) {
    var e = event.target;
    while (e && e.nodeType !== 1) e = e.parentNode;
    while (e && !e.id) e = e.parentElement;
    if (!e) return;
    var values = {};
    var all = document.querySelectorAll('[id]');
    for (var i = 0; i < all.length; i++) {
      if (typeof all[i].value === 'string') values[all[i].id] = all[i].value;
    }
    window.webkit.messageHandlers.qenbox.postMessage({ id: e.id, values: values });
  }, true);
})();
)js";

// id and text arrive as function arguments, never as script source.
constexpr char kSetText[] = R"js(
var e = document.getElementById(id);
if (!e) return false;
if (e.tagName === 'INPUT' || e.tagName === 'TEXTAREA') e.value = text; else e.textContent = text;
return true;
)js";

constexpr char kSetValue[] = R"js(
var e = document.getElementById(id);
if (!e || (e.tagName !== 'INPUT' && e.tagName !== 'TEXTAREA')) return false;
e.value = text;
return true;
)js";

constexpr char kFocus[] = R"js(
var e = document.getElementById(id);
if (!e) return false;
e.focus();
return true;
)js";

// What a page may load: its own inline style and images of our scheme. Pages
// carry no script; the view's own script runs regardless of this policy.
constexpr char kContentPolicy[] =
    "default-src 'none'; style-src 'unsafe-inline'; img-src res:; script-src 'none'";

// Any http(s) request WebKit might still try goes to the discard port on
// loopback, where nothing listens: nothing leaves the machine from the view.
constexpr char kDeadProxy[] = "http://127.0.0.1:9";

std::string LastSegment(const char* pszPath) {
  if (pszPath == nullptr)
    return {};
  const char* pszSlash = std::strrchr(pszPath, '/');
  return pszSlash != nullptr ? std::string(pszSlash + 1) : std::string(pszPath);
}

void TraceCallResult(GObject* pSource, GAsyncResult* pResult, gpointer pData) {
  g_autofree gchar* pszWhat = static_cast<gchar*>(pData);
  g_autoptr(GError) error = nullptr;
  g_autoptr(JSCValue) value =
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(pSource), pResult, &error);
  if (value == nullptr) {
    TestTrace("script-error", std::string(pszWhat) + " " + (error != nullptr ? error->message : ""));
    return;
  }
  TestTrace(jsc_value_to_boolean(value) ? "applied" : "missing", pszWhat);
}

}  // namespace

WebKitHtmlView::WebKitHtmlView(const std::string& programPath) {
  g_autofree gchar* pszEscaped = g_uri_escape_string(programPath.c_str(), "/", FALSE);
  m_strBaseUri = std::string(kScheme) + "://" + pszEscaped;

  // Ephemeral: no cache, cookies or storage on disk.
  g_autoptr(WebKitWebsiteDataManager) dataManager = webkit_website_data_manager_new_ephemeral();
  WebKitNetworkProxySettings* pProxy = webkit_network_proxy_settings_new(kDeadProxy, nullptr);
  webkit_website_data_manager_set_network_proxy_settings(dataManager, WEBKIT_NETWORK_PROXY_MODE_CUSTOM,
                                                         pProxy);
  webkit_network_proxy_settings_free(pProxy);
  m_context.reset(webkit_web_context_new_with_website_data_manager(dataManager));
  webkit_web_context_set_cache_model(m_context.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  webkit_web_context_register_uri_scheme(m_context.get(), kScheme, &WebKitHtmlView::OnSchemeRequest,
                                         nullptr, nullptr);

  m_contentManager.reset(webkit_user_content_manager_new());
  g_signal_connect(m_contentManager.get(), "script-message-received::qenbox",
                   G_CALLBACK(&WebKitHtmlView::OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(m_contentManager.get(), kMessageHandler);
  WebKitUserScript* pScript = webkit_user_script_new(
      kClickListener, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START,
      nullptr, nullptr);
  webkit_user_content_manager_add_script(m_contentManager.get(), pScript);
  webkit_user_script_unref(pScript);

  g_autoptr(WebKitSettings) settings = webkit_settings_new();
  webkit_settings_set_enable_javascript_markup(settings, FALSE);  // no page script, ours still runs
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
  webkit_settings_set_enable_page_cache(settings, FALSE);
  webkit_settings_set_enable_html5_local_storage(settings, FALSE);
  webkit_settings_set_enable_html5_database(settings, FALSE);
  webkit_settings_set_enable_media(settings, FALSE);
  webkit_settings_set_enable_webaudio(settings, FALSE);
  webkit_settings_set_enable_webgl(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  // Faces the pages name but this system lacks fall back to sans-serif, as the
  // dialog face does on the desktop the pages were drawn for.
  webkit_settings_set_default_font_family(settings, "sans-serif");

  GtkWidget* pView = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context.get(),
                                             "user-content-manager", m_contentManager.get(), "settings",
                                             settings, nullptr));
  m_view.reset(GTK_WIDGET(g_object_ref_sink(pView)));
  gtk_widget_set_size_request(pView, kMainClientWidth, kMainClientHeight);
  g_signal_connect(pView, "load-changed", G_CALLBACK(&WebKitHtmlView::OnLoadChanged), this);
  g_signal_connect(pView, "load-failed", G_CALLBACK(&WebKitHtmlView::OnLoadFailed), this);
  g_signal_connect(pView, "decide-policy", G_CALLBACK(&WebKitHtmlView::OnDecidePolicy), this);
  g_signal_connect(pView, "context-menu", G_CALLBACK(&WebKitHtmlView::OnContextMenu), this);
}

WebKitHtmlView::~WebKitHtmlView() {
  Close();
  if (m_contentManager != nullptr)
    g_signal_handlers_disconnect_by_data(m_contentManager.get(), this);
}

GtkWidget* WebKitHtmlView::Widget() const { return m_view.get(); }

void WebKitHtmlView::SetEvents(IHtmlViewEvents* pEvents) { m_pEvents = pEvents; }

void WebKitHtmlView::Close() {
  if (m_bClosed)
    return;
  m_bClosed = true;
  m_pEvents = nullptr;
  g_signal_handlers_disconnect_by_data(m_view.get(), this);
  webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(m_view.get()));
}

void WebKitHtmlView::LoadPage(int page) {
  if (m_bClosed)
    return;
  const std::string uri = m_strBaseUri + "/" + std::to_string(page);
  TestTrace("load", uri);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(m_view.get()), uri.c_str());
}

void WebKitHtmlView::SetElementText(const std::u16string& id, const std::u16string& text) {
  if (m_bClosed)
    return;
  auto it = m_values.find(id);
  if (it != m_values.end())
    it->second = text;
  TestTrace("text", Utf16ToUtf8(id), Utf16ToUtf8(text));
  CallPageFunction("text", kSetText, id, &text);
}

std::u16string WebKitHtmlView::GetElementValue(const std::u16string& id) {
  auto it = m_values.find(id);
  return it != m_values.end() ? it->second : std::u16string();
}

void WebKitHtmlView::SetInputValue(const std::u16string& id, const std::u16string& text) {
  if (m_bClosed)
    return;
  auto it = m_values.find(id);
  if (it != m_values.end())
    it->second = text;
  TestTrace("value", Utf16ToUtf8(id), Utf16ToUtf8(text));
  CallPageFunction("value", kSetValue, id, &text);
}

void WebKitHtmlView::FocusElement(const std::u16string& id) {
  if (m_bClosed)
    return;
  TestTrace("focus", Utf16ToUtf8(id));
  gtk_widget_grab_focus(m_view.get());
  CallPageFunction("focus", kFocus, id, nullptr);
}

void WebKitHtmlView::CallPageFunction(const char* pszWhat, const char* pszBody, const std::u16string& id,
                                      const std::u16string* pText) {
  GVariantDict args;
  g_variant_dict_init(&args, nullptr);
  g_variant_dict_insert(&args, "id", "s", Utf16ToUtf8(id).c_str());
  if (pText != nullptr)
    g_variant_dict_insert(&args, "text", "s", Utf16ToUtf8(*pText).c_str());
  // Calls go to the page in the order they are made and run there in that order.
  const bool bTrace = TestTraceEnabled();
  webkit_web_view_call_async_javascript_function(
      WEBKIT_WEB_VIEW(m_view.get()), pszBody, -1, g_variant_dict_end(&args), nullptr, nullptr, nullptr,
      bTrace ? TraceCallResult : nullptr,
      bTrace ? g_strdup_printf("%s %s", pszWhat, Utf16ToUtf8(id).c_str()) : nullptr);
}

void WebKitHtmlView::OnSchemeRequest(WebKitURISchemeRequest* pRequest, gpointer) {
  const std::string name = LastSegment(webkit_uri_scheme_request_get_path(pRequest));
  g_autoptr(GBytes) bytes = LookupPageResource(name);
  if (bytes == nullptr) {
    TestTrace("not-found", webkit_uri_scheme_request_get_uri(pRequest));
    g_autoptr(GError) error =
        g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No resource named \"%s\"", name.c_str());
    webkit_uri_scheme_request_finish_error(pRequest, error);
    return;
  }
  const gsize size = g_bytes_get_size(bytes);
  g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(bytes);
  g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
  webkit_uri_scheme_response_set_content_type(response, PageResourceContentType(name));
  SoupMessageHeaders* pHeaders = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(pHeaders, "Content-Security-Policy", kContentPolicy);
  webkit_uri_scheme_response_set_http_headers(response, pHeaders);  // takes the headers
  webkit_uri_scheme_request_finish_with_response(pRequest, response);
}

void WebKitHtmlView::OnLoadChanged(WebKitWebView* pView, WebKitLoadEvent event, gpointer pData) {
  auto* pThis = static_cast<WebKitHtmlView*>(pData);
  if (event == WEBKIT_LOAD_COMMITTED) {
    pThis->m_values.clear();  // a new document: the old snapshot describes nothing on it
    return;
  }
  if (event != WEBKIT_LOAD_FINISHED)
    return;
  if (pThis->m_bLoadCancelled) {
    // A load replaced by a newer one: the newer load reports its own completion.
    pThis->m_bLoadCancelled = false;
    return;
  }
  // The document that finished is the main resource's: the view's own URI
  // already names a newer load that was asked for meanwhile.
  WebKitWebResource* pMain = webkit_web_view_get_main_resource(pView);
  const char* pszUri = pMain != nullptr ? webkit_web_resource_get_uri(pMain) : webkit_web_view_get_uri(pView);
  const std::string uri = pszUri != nullptr ? pszUri : "";
  TestTrace("complete", uri);
  if (pThis->m_pEvents != nullptr)
    pThis->m_pEvents->OnDocumentComplete(Utf8ToUtf16(uri));
}

gboolean WebKitHtmlView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* pszUri, GError* pError,
                                      gpointer pData) {
  if (g_error_matches(pError, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) {
    TestTrace("cancelled", pszUri != nullptr ? pszUri : "");
    static_cast<WebKitHtmlView*>(pData)->m_bLoadCancelled = true;
  }
  return FALSE;  // WebKit's own handling
}

gboolean WebKitHtmlView::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* pDecision,
                                        WebKitPolicyDecisionType type, gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
    return FALSE;
  WebKitNavigationAction* pAction =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(pDecision));
  const char* pszUri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(pAction));
  g_autofree gchar* pszScheme = pszUri != nullptr ? g_uri_parse_scheme(pszUri) : nullptr;
  const bool bOurs = pszScheme != nullptr && g_ascii_strcasecmp(pszScheme, kScheme) == 0;
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && bOurs) {
    webkit_policy_decision_use(pDecision);
  } else {
    TestTrace("blocked", pszUri != nullptr ? pszUri : "");
    webkit_policy_decision_ignore(pDecision);
  }
  return TRUE;
}

gboolean WebKitHtmlView::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                       gpointer) {
  TestTrace("context-menu", "suppressed");
  return TRUE;
}

void WebKitHtmlView::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* pResult,
                                     gpointer pData) {
  auto* pThis = static_cast<WebKitHtmlView*>(pData);
  if (pThis->m_bClosed)
    return;
  JSCValue* pMessage = webkit_javascript_result_get_js_value(pResult);
  if (!jsc_value_is_object(pMessage))
    return;
  g_autoptr(JSCValue) idValue = jsc_value_object_get_property(pMessage, "id");
  if (!jsc_value_is_string(idValue))
    return;
  g_autofree gchar* pszId = jsc_value_to_string(idValue);

  pThis->m_values.clear();
  g_autoptr(JSCValue) values = jsc_value_object_get_property(pMessage, "values");
  if (jsc_value_is_object(values)) {
    g_auto(GStrv) names = jsc_value_object_enumerate_properties(values);
    for (gchar** ppName = names; ppName != nullptr && *ppName != nullptr; ++ppName) {
      g_autoptr(JSCValue) value = jsc_value_object_get_property(values, *ppName);
      if (!jsc_value_is_string(value))
        continue;
      g_autofree gchar* pszValue = jsc_value_to_string(value);
      pThis->m_values[Utf8ToUtf16(*ppName)] = Utf8ToUtf16(pszValue);
    }
  }
  TestTrace("click", pszId);
  if (pThis->m_pEvents != nullptr)
    pThis->m_pEvents->OnElementClick(Utf8ToUtf16(pszId));
}

}  // namespace platform
