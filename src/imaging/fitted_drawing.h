// Where a document's page or a picture lands in the frame it is printed in.
#pragma once

#include <cairo.h>

#include "base/units.h"

namespace tovanel {

// Moves and scales `context` so that something `size` units large, drawn at the origin, fills
// `frame` (whose top left corner is the current origin) one way and is centred the other: the
// aspect ratio kept, nothing turned, nothing spilling. Returns the scale. Needs positive sizes.
double fitIntoFrame(cairo_t* context, const PaperSize& frame, const PaperSize& size);

}  // namespace tovanel
