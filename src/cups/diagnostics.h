// Diagnostic lines on the host's standard output.
#pragma once

#include <string_view>

namespace tovanel {

// Writes `line` and a newline to standard output and flushes at once, so a reader at the
// other end of a pipe sees it when it happens.
void printDiagnosticLine(std::string_view line);

}  // namespace tovanel
