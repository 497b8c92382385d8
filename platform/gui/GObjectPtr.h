// Owning pointers for GLib objects that are not widgets held by a container.
#pragma once

#include <glib-object.h>

#include <memory>

namespace platform {

struct GObjectDeleter {
  void operator()(gpointer p) const noexcept {
    if (p != nullptr)
      g_object_unref(p);
  }
};

template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

}  // namespace platform
