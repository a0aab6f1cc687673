// The paper sizes a printer offers, from the page-size line of `lpoptions -p QUEUE -l`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "codec/value.h"
#include "cups/command.h"
#include "cups/diagnostics.h"

namespace tovanel {

// The keywords of the first line that begins with "PageSize" or "MediaSize", in order,
// without the "*" that marks the default; duplicates stay. Empty when there is no such
// line, it has no colon, or it lists nothing.
std::vector<std::string> parsePaperSizeKeywords(std::string_view lpoptionsOutput);

// One PaperSizeEntry {"name", "width", "height"} per keyword, in millimetres; a keyword
// not recognised measures 0 by 0.
ValueList paperSizeEntries(const std::vector<std::string>& keywords);

// The paper sizes of the printer with this display name: its queue from the CUPS queue
// map, then `/usr/bin/lpoptions -p QUEUE -l` through `run`, its error output dropped.
// When the tool does not start, writes "Error querying paper sizes for <displayName>: "
// and the launch error's full description as one diagnostic line (on standard output
// unless `diagnostics` keeps it). Any failure gives the empty list. Safe to run on
// several threads at once when `run` is.
ValueList queryPaperSizes(const CommandRunner& run, std::string_view displayName);
ValueList queryPaperSizes(const CommandRunner& run, std::string_view displayName,
                          DiagnosticLines& diagnostics);

}  // namespace tovanel
