#include "imaging/fitted_drawing.h"

#include <algorithm>

namespace tovanel {

double fitIntoFrame(cairo_t* context, const PaperSize& frame, const PaperSize& size) {
  const double scale = std::min(frame.width / size.width, frame.height / size.height);
  cairo_translate(context, (frame.width - size.width * scale) / 2,
                  (frame.height - size.height * scale) / 2);
  cairo_scale(context, scale, scale);
  return scale;
}

}  // namespace tovanel
