#include "support/process_probe.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovanel::testing {
namespace {

// A field such as "VmRSS:    1234 kB" of /proc/PID/status in KiB, or -1.
long kibibytesField(pid_t pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(name + ":"))
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
  }
  return -1;
}

}  // namespace

std::map<int, std::string> openDescriptors(pid_t pid) {
  std::map<int, std::string> descriptors;
  std::error_code error;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const auto target = std::filesystem::read_symlink(entry.path(), error);
    // A descriptor closed while the folder is read is simply not there.
    if (!error)
      descriptors[std::atoi(entry.path().filename().c_str())] = target.string();
  }
  return descriptors;
}

long residentKibibytes(pid_t pid) {
  return kibibytesField(pid, "VmRSS");
}

long addressSpaceKibibytes(pid_t pid) {
  return kibibytesField(pid, "VmSize");
}

std::vector<ChildProcess> childrenOf(pid_t pid) {
  std::vector<ChildProcess> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename();
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit))
      continue;
    std::ifstream file(entry.path() / "stat");
    std::string stat;
    std::getline(file, stat);
    // "PID (COMMAND) STATE PPID ...": the command may hold spaces and parentheses.
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
      continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = '?';
    pid_t parent = 0;
    if (rest >> state >> parent && parent == pid)
      children.push_back({std::atoi(name.c_str()), state, stat.substr(open + 1, close - open - 1)});
  }
  return children;
}

}  // namespace tovanel::testing
