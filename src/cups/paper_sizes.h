// Paper-size keywords (A4, Letter, w288h432 ...) and their dimensions in millimetres.
#pragma once

#include <span>
#include <string_view>

#include "base/units.h"

namespace tovanel {

struct KnownPaperSize {
  std::string_view keyword;
  PaperDimensions dimensions;
};

// The 23 named sizes the host knows, each value the double nearest to its decimal.
std::span<const KnownPaperSize> knownPaperSizes();

// The dimensions of `keyword`: from the table (exactly, else once both are lower-cased),
// else from the custom form w<width>h<height> in points, whose numbers must read whole
// by strtod in the C locale with no leading blank. A number beyond the range of a double
// (w1e400h10, or one so small it underflows) does not read. Anything else gives zero by
// zero. Never fails.
PaperDimensions paperSizeDimensions(std::string_view keyword);

}  // namespace tovanel
