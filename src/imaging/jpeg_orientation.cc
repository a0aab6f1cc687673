#include "imaging/jpeg_orientation.h"

namespace tovanel {

cairo_matrix_t uprightTransform(int orientation, double width, double height) {
  // Written as (xx, yx, xy, yy, x0, y0): upright x = xx x + xy y + x0, y = yx x + yy y + y0.
  cairo_matrix_t matrix;
  switch (orientation) {
    case 2:
      cairo_matrix_init(&matrix, -1, 0, 0, 1, width, 0);
      break;
    case 3:
      cairo_matrix_init(&matrix, -1, 0, 0, -1, width, height);
      break;
    case 4:
      cairo_matrix_init(&matrix, 1, 0, 0, -1, 0, height);
      break;
    case 5:
      cairo_matrix_init(&matrix, 0, 1, 1, 0, 0, 0);
      break;
    case 6:
      cairo_matrix_init(&matrix, 0, 1, -1, 0, height, 0);
      break;
    case 7:
      cairo_matrix_init(&matrix, 0, -1, -1, 0, height, width);
      break;
    case 8:
      cairo_matrix_init(&matrix, 0, -1, 1, 0, 0, width);
      break;
    default:
      cairo_matrix_init_identity(&matrix);
  }
  return matrix;
}

bool orientationSwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

}  // namespace tovanel
