// Feeds arbitrary bytes to paperSizeDimensions, as a keyword and as both numbers of the
// custom form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cups/paper_sizes.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const PaperDimensions dimensions = paperSizeDimensions(text);
  // Only a table keyword or the w...h... form measures anything.
  const std::string lower = lowercase(text);
  bool inTable = false;
  for (const auto& known : knownPaperSizes())
    inTable = inTable || textEquals(lowercase(known.keyword), lower);
  if (!(dimensions == PaperDimensions{}) && !inTable && !lower.starts_with('w'))
    __builtin_trap();
  paperSizeDimensions("w" + std::string(text) + "h" + std::string(text));
  return 0;
}
