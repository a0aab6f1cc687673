// A tool runner for unit tests: canned results by command line, every request recorded.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "cups/command.h"

namespace tovanel::testing {

// "lpoptions -p Office_Laser -l": the tool's file name and its arguments.
inline std::string commandLine(const CommandRequest& request) {
  std::string line = request.toolPath.substr(request.toolPath.rfind('/') + 1);
  for (const auto& argument : request.arguments)
    line += " " + argument;
  return line;
}

inline CommandResult output(std::string text, int32_t exitStatus = 0) {
  return {.launched = true, .launchError = {}, .outputText = text, .exitStatus = exitStatus};
}
inline CommandResult notStarted(const std::string& tool) {
  return {.launchError = LaunchError{tool, "posix_spawn", 2, "No such file or directory"},
          .outputText = {}};
}
inline const CommandResult kTimedOut{
    .launched = true, .launchError = {}, .outputText = {}, .exitStatus = 9, .timedOut = true};

// Commands not answered run and write nothing. Safe on several threads, as runCommand is.
struct CannedTools {
  CommandRunner runner() {
    return [this](const CommandRequest& request) {
      const std::lock_guard lock(mutex);
      requests.push_back(request);
      const auto found = answers.find(commandLine(request));
      return found != answers.end() ? found->second : output("");
    };
  }

  std::map<std::string, CommandResult> answers;  // by command line
  std::vector<CommandRequest> requests;
  std::mutex mutex;
};

}  // namespace tovanel::testing

namespace tovanel {
// Requests compared whole, and printed as their command line and what was asked of the run.
inline bool operator==(const CommandRequest& a, const CommandRequest& b) {
  return std::tie(a.toolPath, a.arguments, a.captureOutput, a.separateError, a.waitForExit,
                  a.timeLimit) == std::tie(b.toolPath, b.arguments, b.captureOutput,
                                           b.separateError, b.waitForExit, b.timeLimit);
}
inline void PrintTo(const CommandRequest& request, std::ostream* out) {
  *out << "{" << request.toolPath << " " << ::testing::PrintToString(request.arguments)
       << (request.captureOutput ? ", output read" : "")
       << (request.separateError ? ", errors apart" : "")
       << (request.waitForExit ? ", waited for" : "") << ", " << request.timeLimit.count()
       << " ms}";
}
}  // namespace tovanel
