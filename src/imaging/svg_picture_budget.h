// The pictures an SVG drawing carries inside its bytes ("data:" addresses), measured before
// librsvg reads it: librsvg decodes them through gdk-pixbuf with no limit, so a 100 kB drawing
// can hold a 20000 x 20000 picture that takes 2.7 GB.
#pragma once

#include <string_view>

#include "imaging/image_decoding.h"

namespace tovanel {

// True when every "data:" address that begins an attribute's value or a CSS url() in the
// drawing (written plainly or with character references) holds a picture that decodeImageBytes
// reads within `limits`, or an SVG drawing whose own pictures do, one level deep. False for a
// drawing that defines entities, which could spell an address no scan of the bytes sees, and for
// data of any other kind.
bool embeddedPicturesWithinBudget(std::string_view drawing, const ImageLimits& limits);

}  // namespace tovanel
