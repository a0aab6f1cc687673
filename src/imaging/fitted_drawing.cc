#include "imaging/fitted_drawing.h"

#include "imaging/page_layout.h"

namespace tovanel {

double fitIntoFrame(cairo_t* context, const PaperSize& frame, const PaperSize& size) {
  const ImagePlacement placement = fitImage(frame, size, ImageScaling::proportionallyUpOrDown);
  cairo_translate(context, placement.x, placement.y);
  cairo_scale(context, placement.scaleX, placement.scaleY);
  return placement.scaleX;
}

}  // namespace tovanel
