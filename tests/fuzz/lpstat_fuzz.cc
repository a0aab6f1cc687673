// Feeds arbitrary bytes to the `lpstat -lp` parser and the naming rules over its map.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cups/cups_queue_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CupsQueueMap map = parseCupsQueueMap(text);
  for (const auto& entry : map.entries()) {
    // Every entry has a queue, and its own key finds it again under both rules.
    if (entry.queue.empty() || resolveCupsName(entry.description, map) != entry.queue ||
        matchCupsName(entry.description, map) != entry.queue)
      __builtin_trap();
  }
  const std::string_view name = text.substr(0, 64);
  resolveCupsName(name, map);
  matchCupsName(name, map);
  return 0;
}
