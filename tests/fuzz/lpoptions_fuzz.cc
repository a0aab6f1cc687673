// The `lpoptions -p QUEUE -l` parser on any bytes, which must merely not crash it: keywords of
// UTF-8 text, as tool output is, are never empty, keep no default marker nor line break.
#include "cups/paper_size_query.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto keywords = parsePaperSizeKeywords(text);
  for (const auto& keyword : keywords)
    if (isValidUtf8(text) && (keyword.empty() || keyword.find_first_of("*\n\r") != keyword.npos))
      __builtin_trap();
  return 0;
}
