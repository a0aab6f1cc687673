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

}  // namespace tovanel
