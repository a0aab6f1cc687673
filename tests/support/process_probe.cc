#include "support/process_probe.h"

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

std::vector<int> openDescriptors(pid_t pid) {
  std::vector<int> descriptors;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
    descriptors.push_back(std::atoi(entry.path().filename().c_str()));
  return descriptors;
}

std::vector<pid_t> childrenOf(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    // "PID (COMMAND) STATE PPID ...": the command may hold spaces and parentheses.
    std::istringstream rest(stat.substr(stat.rfind(')') + 1));
    char state = '?';
    pid_t parent = 0;
    if (rest >> state >> parent && parent == pid)
      children.push_back(std::atoi(entry.path().filename().c_str()));
  }
  return children;
}

long residentKibibytes(pid_t pid) {
  return kibibytesField(pid, "VmRSS");
}

long addressSpaceKibibytes(pid_t pid) {
  return kibibytesField(pid, "VmSize");
}

}  // namespace tovanel::testing
