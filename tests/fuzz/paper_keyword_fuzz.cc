// paperSizeDimensions on any bytes, as a keyword and as both numbers of the custom form: only
// a table keyword or the w...h... form measures anything.
#include "cups/paper_sizes.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string lower = lowercase(text);
  bool inTable = false;
  for (const auto& known : knownPaperSizes())
    inTable = inTable || textEquals(lowercase(known.keyword), lower);
  if (!(paperSizeDimensions(text) == PaperDimensions{}) && !inTable && !lower.starts_with('w'))
    __builtin_trap();
  paperSizeDimensions("w" + text + "h" + text);
  return 0;
}
