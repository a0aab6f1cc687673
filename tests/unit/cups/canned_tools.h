// A tool runner for unit tests: canned results by command line, every request recorded.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cups/command.h"

namespace tovanel::testing {

class CannedTools {
 public:
  // "lpoptions -p Office_Laser -l": the tool's file name and its arguments.
  static std::string commandLine(const CommandRequest& request) {
    std::string line = request.toolPath.substr(request.toolPath.rfind('/') + 1);
    for (const auto& argument : request.arguments)
      line += " " + argument;
    return line;
  }

  static CommandResult output(std::string text, int32_t exitStatus = 0) {
    CommandResult result;
    result.launched = true;
    result.outputText = std::move(text);
    result.exitStatus = exitStatus;
    return result;
  }
  static CommandResult notUtf8() {
    CommandResult result;
    result.launched = true;
    return result;
  }
  static CommandResult notStarted(const std::string& toolPath) {
    CommandResult result;
    result.launchError = LaunchError{toolPath, "posix_spawn", 2, "No such file or directory"};
    return result;
  }

  void answer(const std::string& line, CommandResult result) { results_[line] = std::move(result); }

  // Unlisted commands run and write nothing. Safe on several threads, as runCommand is.
  CommandRunner runner() {
    return [this](const CommandRequest& request) {
      const std::lock_guard lock(mutex_);
      requests.push_back(request);
      const auto found = results_.find(commandLine(request));
      return found != results_.end() ? found->second : output("");
    };
  }

  std::vector<std::string> commandLines() const {
    std::vector<std::string> lines;
    for (const auto& request : requests)
      lines.push_back(commandLine(request));
    return lines;
  }

  std::vector<CommandRequest> requests;

 private:
  std::map<std::string, CommandResult> results_;
  std::mutex mutex_;
};

// A captured tool output from tests/data, e.g. "lpstat/sandbox.txt".
inline std::string fixture(const std::string& name) {
  std::ifstream file(std::string(TOVANEL_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
  if (!file)
    ADD_FAILURE() << "no fixture tests/data/" << name;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace tovanel::testing
