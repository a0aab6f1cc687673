// The printed page as a one-page PDF, written out while it is produced.
#pragma once

#include "imaging/byte_sink.h"
#include "imaging/cairo_image.h"
#include "imaging/page_layout.h"

namespace tovanel {

// Writes a PDF of one page of exactly the layout's sheet, on which `image` is fitted into
// the layout's frame. An enlarged image keeps its pixels sharp (a barcode stays a
// barcode); a reduced one is smoothed. True when the whole document reached `sink`; false
// at once when the sink refuses bytes. Needs a printable sheet and frame.
bool writeImagePage(const PageLayout& layout, const CairoImage& image, const ByteSink& sink);

}  // namespace tovanel
