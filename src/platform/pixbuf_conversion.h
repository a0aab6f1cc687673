// Turning a decoded pixbuf into the cairo image surface that a page is drawn from.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>

#include "platform/cairo_image.h"

namespace tovanel {

struct GObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
using PixbufHandle = std::unique_ptr<GdkPixbuf, GObjectRelease>;

// The pixbuf's pixels as an opaque RGB24 cairo surface. Pixels with alpha are laid on
// white, as they come out on paper: the page then needs no soft mask, which is three times
// slower to write and larger in memory. They are converted in place when the rows already
// have cairo's stride (the surface then keeps the pixbuf alive), so the caller must not use
// the pixbuf's pixels afterwards. Null unless the pixbuf is 8-bit RGB or RGBA and cairo can
// hold its size.
CairoSurface surfaceFromPixbuf(PixbufHandle pixbuf);

}  // namespace tovanel
