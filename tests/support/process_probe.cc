#include "support/process_probe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tovanel::testing {

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

long statusKibibytes(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":"))
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000 && !condition(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return condition();
}

}  // namespace tovanel::testing
