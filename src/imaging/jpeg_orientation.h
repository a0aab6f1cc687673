// A JPEG's EXIF orientation as a transform: the picture is turned upright on the page, by the
// page's coordinates, instead of by moving its pixels.
#pragma once

#include <cairo.h>

namespace tovanel {

// Maps a point of the picture as stored (`width` x `height`, in any unit) to where it shows
// in the upright picture, for the EXIF orientations 1 to 8 as viewers show them: 2 mirrored,
// 3 half a turn, 4 flipped, 5 mirrored across the diagonal, 6 a quarter turn clockwise, 7
// across the other diagonal, 8 a quarter turn counter-clockwise. Any other value is taken as 1.
cairo_matrix_t uprightTransform(int orientation, double width, double height);

// True for the orientations (5 to 8) whose upright picture is as wide as the stored one is high.
bool orientationSwapsSides(int orientation);

}  // namespace tovanel
