// Printer descriptions (the display names people see) to CUPS queue names, read from
// `lpstat -lp`, and the two rules that turn a display name into a queue name.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cups/command.h"
#include "cups/diagnostics.h"

namespace tovanel {

// Description to queue name. Keys compare under the host's text equality (canonically
// equivalent forms are one key); a later entry for a key replaces the earlier value and
// keeps the key's first place in the iteration order. Built afresh for every use.
class CupsQueueMap {
 public:
  struct Entry {
    std::string description;
    std::string queue;
    friend bool operator==(const Entry&, const Entry&) = default;
  };

  void insertOrReplace(std::string description, std::string queue);
  // The queue of `description`, trimmed of whitespace as the keys are, or nullptr.
  const std::string* find(std::string_view description) const;

  bool empty() const { return entries_.empty(); }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t> indexByCanonicalKey_;
};

// The map that `lpstat -lp` output describes: each "Description:" line pairs with the
// queue of the nearest "printer " line above it. Never fails; text that lists no
// described printer gives the empty map.
CupsQueueMap parseCupsQueueMap(std::string_view lpstatOutput);

// Runs `/usr/bin/lpstat -lp` through `run` and parses what it writes. When the tool does
// not start, writes "Error getting CUPS mapping: " and the launch error's full
// description as one diagnostic line (on standard output unless `diagnostics` keeps it).
// Any failure gives the empty map.
CupsQueueMap getCupsMapping(const CommandRunner& run);
CupsQueueMap getCupsMapping(const CommandRunner& run, DiagnosticLines& diagnostics);

// The queue for listings and paper-size queries: the map's value for `displayName`,
// otherwise `displayName` with each space (U+0020) made an underscore.
std::string resolveCupsName(std::string_view displayName, const CupsQueueMap& map);

// The queue for setting the default printer: the map's value for `displayName`;
// otherwise the first queue in the map's order that equals the underscored name exactly
// or once both are lower-cased; otherwise `displayName` unchanged.
std::string matchCupsName(std::string_view displayName, const CupsQueueMap& map);

}  // namespace tovanel
