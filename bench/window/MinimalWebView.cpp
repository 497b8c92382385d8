// The baseline for bench/window/run: the least a WebKitGTK program does to
// show page 104 from the program's GResource bundle through the "res" scheme.
// Prints "complete <microseconds since the epoch> <location>" when the page
// has loaded, then exits (or stays with --stay).
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include "qen_pages_resource.h"
}

namespace {

bool g_bStay = false;

void ServeResource(WebKitURISchemeRequest* pRequest, gpointer) {
  const char* pszPath = webkit_uri_scheme_request_get_path(pRequest);
  const char* pszName = std::strrchr(pszPath, '/');
  const std::string name = pszName != nullptr ? pszName + 1 : pszPath;
  const std::string path = "/qenbox/pages/" + name;
  g_autoptr(GBytes) bytes =
      g_resource_lookup_data(qen_pages_get_resource(), path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (bytes == nullptr) {
    g_autoptr(GError) error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found");
    webkit_uri_scheme_request_finish_error(pRequest, error);
    return;
  }
  g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(bytes);
  webkit_uri_scheme_request_finish(pRequest, stream, static_cast<gint64>(g_bytes_get_size(bytes)),
                                   name == "loading_gif" ? "image/gif" : "text/html");
}

void OnLoadChanged(WebKitWebView* pView, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED)
    return;
  std::printf("complete %lld %s\n", static_cast<long long>(g_get_real_time()), webkit_web_view_get_uri(pView));
  std::fflush(stdout);
  if (!g_bStay)
    gtk_main_quit();
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  g_bStay = argc > 1 && std::strcmp(argv[1], "--stay") == 0;
  qen_pages_register_resource();

  WebKitWebContext* pContext = webkit_web_context_get_default();
  webkit_web_context_register_uri_scheme(pContext, "res", ServeResource, nullptr, nullptr);
  GtkWidget* pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(pWindow), 590, 431);
  GtkWidget* pView = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(pWindow), pView);
  g_signal_connect(pView, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  g_signal_connect(pWindow, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(pWindow);

  g_autofree gchar* pszExe = g_file_read_link("/proc/self/exe", nullptr);
  const std::string uri = std::string("res://") + (pszExe != nullptr ? pszExe : "/minimal") + "/104";
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(pView), uri.c_str());
  gtk_main();
  return 0;
}
