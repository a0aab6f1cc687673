// The printed page as a one-page PDF, written out while it is produced.
#pragma once

#include "imaging/byte_sink.h"
#include "imaging/cairo_image.h"
#include "platform/print_job_settings.h"

namespace tovanel {

// Writes a PDF of one page of exactly `page` points with no margins, on which `image` is
// fitted into `frame`, itself centred on the page, with its aspect ratio kept and
// centred. A `turned` frame goes on the page a quarter turn counter-clockwise, as CUPS
// turns a landscape page, so that a wide label prints along a narrow sheet. An enlarged image keeps
// its pixels sharp (a barcode stays a barcode); a reduced one is smoothed. True when the whole
// document reached `sink`; false at once when the page size is not printable or the sink refuses
// bytes.
bool writeImagePage(const PaperSize& page, const PaperSize& frame, bool turned,
                    const CairoImage& image, const ByteSink& sink);

}  // namespace tovanel
