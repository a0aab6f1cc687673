#include "cups/diagnostics.h"

#include <cstdio>
#include <string>

namespace tovanel {

void printDiagnosticLine(std::string_view line) {
  std::string whole(line);
  whole += '\n';
  std::fwrite(whole.data(), 1, whole.size(), stdout);
  std::fflush(stdout);
}

void DiagnosticLines::write(std::string line) {
  if (keep_)
    kept_.push_back(std::move(line));
  else
    printDiagnosticLine(line);
}

void DiagnosticLines::printKept() {
  for (const std::string& line : kept_)
    printDiagnosticLine(line);
  kept_.clear();
}

}  // namespace tovanel
