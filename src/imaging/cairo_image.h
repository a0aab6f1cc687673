// Owning handles for cairo objects, and a decoded image held as a cairo image surface,
// the form from which a page is drawn.
#pragma once

#include <cairo.h>

#include <memory>
#include <utility>

namespace tovanel {

struct CairoSurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct CairoContextRelease {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextRelease>;

class CairoImage {
 public:
  // Needs an image surface in a good state.
  explicit CairoImage(CairoSurface surface) : surface_(std::move(surface)) {}

  int width() const { return cairo_image_surface_get_width(surface_.get()); }
  int height() const { return cairo_image_surface_get_height(surface_.get()); }
  cairo_surface_t* surface() const { return surface_.get(); }

 private:
  CairoSurface surface_;
};

}  // namespace tovanel
