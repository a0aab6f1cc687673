// Diagnostic lines on the host's standard output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// Writes `line` and a newline to standard output and flushes at once, so a reader at the
// other end of a pipe sees it when it happens.
void printDiagnosticLine(std::string_view line);

// Where an operation's diagnostic lines go: printed as they come, or kept to be printed
// later, so that work done side by side still writes its lines in a set order.
class DiagnosticLines {
 public:
  static DiagnosticLines printed() { return DiagnosticLines(false); }
  static DiagnosticLines kept() { return DiagnosticLines(true); }

  void write(std::string line);
  // Prints the kept lines, in the order they came.
  void printKept();

 private:
  explicit DiagnosticLines(bool keep) : keep_(keep) {}

  bool keep_;
  std::vector<std::string> kept_;
};

}  // namespace tovanel
