#include "platform/gui/EmbeddedResources.h"

#include <gio/gio.h>

#include <string>

extern "C" {
#include "qen_pages_resource.h"  // generated C, no linkage block of its own
}

namespace platform {

namespace {

// The generated bundle exists once registered; registering also lets
// "resource://" lookups find it.
GResource* Bundle() {
  static GResource* s_pBundle = [] {
    qen_pages_register_resource();
    return qen_pages_get_resource();
  }();
  return s_pBundle;
}

// Names are single path segments of letters, digits and "_", so a location
// cannot climb out of the pages folder of the bundle.
bool IsPlainName(std::string_view name) {
  if (name.empty())
    return false;
  for (char c : name) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!ok)
      return false;
  }
  return true;
}

}  // namespace

GBytes* LookupPageResource(std::string_view name) {
  if (!IsPlainName(name))
    return nullptr;
  const std::string path = "/qenbox/pages/" + std::string(name);
  return g_resource_lookup_data(Bundle(), path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
}

const char* PageResourceContentType(std::string_view name) {
  return name == "loading_gif" ? "image/gif" : "text/html; charset=utf-8";
}

GdkPixbuf* LoadProgramIcon(int size) {
  const std::string path = "/qenbox/icons/" + std::to_string(size) + ".png";
  g_autoptr(GInputStream) stream = g_resource_open_stream(Bundle(), path.c_str(),
                                                          G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (stream == nullptr)
    return nullptr;
  return gdk_pixbuf_new_from_stream(stream, nullptr, nullptr);
}

}  // namespace platform
