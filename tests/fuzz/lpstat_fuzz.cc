// The `lpstat -lp` parser on any bytes, and the naming rules over its map: every entry has a
// queue, and its own description finds it again under both rules.
#include "cups/cups_queue_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovanel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CupsQueueMap map = parseCupsQueueMap(text);
  for (const auto& entry : map.entries())
    if (entry.queue.empty() || resolveCupsName(entry.description, map) != entry.queue ||
        matchCupsName(entry.description, map) != entry.queue)
      __builtin_trap();
  matchCupsName(text.substr(0, 64), map);  // any name, most often one the map lacks
  return 0;
}
