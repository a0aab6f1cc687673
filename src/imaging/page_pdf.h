// The printed pages as one PDF, written out while they are produced.
#pragma once

#include "imaging/byte_sink.h"
#include "imaging/page_layout.h"
#include "imaging/printable.h"

namespace tovanel {

// Writes a PDF of one page of exactly the layout's sheet for each page of `printable`, in
// order, each fitted into the layout's frame. True when the whole document reached
// `sink`; false at once when the sink refuses bytes. Needs a printable sheet and frame.
bool writePages(const PageLayout& layout, const Printable& printable, const ByteSink& sink);

}  // namespace tovanel
