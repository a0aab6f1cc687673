// Owners of the GLib objects that the decoders and document readers hold.
#pragma once

#include <glib-object.h>

namespace tovanel {

struct ObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
struct ErrorRelease {
  void operator()(GError* error) const { g_error_free(error); }
};
struct BytesRelease {
  void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};

}  // namespace tovanel
