// Feeds arbitrary bytes to the `lpoptions -p QUEUE -l` parser and measures what it finds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cups/paper_size_query.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto keywords = parsePaperSizeKeywords(text);
  // Tool output reaches the parser only once it is known to be UTF-8; other bytes must
  // merely not crash it. Keywords of text are never empty and keep no default marker
  // and no line break.
  for (const auto& keyword : keywords) {
    if (isValidUtf8(text) &&
        (keyword.empty() || keyword.find_first_of("*\n\r") != std::string::npos))
      __builtin_trap();
  }
  if (paperSizeEntries(keywords).size() != keywords.size())
    __builtin_trap();
  return 0;
}
