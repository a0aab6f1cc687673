// Turning a decoded pixbuf into the cairo image surface that a page is drawn from.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "imaging/cairo_image.h"

namespace tovanel {

// The pixbuf's pixels in a new opaque RGB24 cairo surface. Pixels with alpha are laid on
// white, as they come out on paper: the page then needs no soft mask, which is three times
// slower to write and larger in memory. An image of nothing but black and white carries
// its 1-bit CCITT form for the PDF writer. Null unless the pixbuf is 8-bit RGB or RGBA
// and cairo can hold its size.
CairoSurface surfaceFromPixbuf(const GdkPixbuf* pixbuf);

}  // namespace tovanel
