// The pages, the searching animation and the icons embedded in the program
// (res/qenbox.gresource.xml).
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>

#include <string_view>

namespace platform {

// The bytes of the page resource with this name ("104", "loading_gif"), or
// null when there is none; the caller unrefs them.
GBytes* LookupPageResource(std::string_view name);
// What the resource is served as: pages are UTF-8 HTML, the animation a GIF.
const char* PageResourceContentType(std::string_view name);
// The program icon drawn at size px (16, 32, 48, 64 or 128); null when missing.
GdkPixbuf* LoadProgramIcon(int size);

}  // namespace platform
