// What a running process holds, read from /proc.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tovanel::testing {

// The open descriptors of `pid`, each with what it refers to ("socket:[1234]", ...).
std::map<int, std::string> openDescriptors(pid_t pid);
// One line per descriptor, "3 -> socket:[1234]", for failure messages.
std::string describeDescriptors(const std::map<int, std::string>& descriptors);

// VmRSS and VmSize of `pid` in KiB; -1 when unreadable.
long residentKibibytes(pid_t pid);
long addressSpaceKibibytes(pid_t pid);

// A direct child of a process: its state is 'Z' for a zombie (exited, not yet reaped).
struct ChildProcess {
  pid_t pid = 0;
  char state = '?';
  std::string command;
};
std::vector<ChildProcess> childrenOf(pid_t pid);
// "1234 lpstat (Z), ..." for failure messages.
std::string describeChildren(const std::vector<ChildProcess>& children);

}  // namespace tovanel::testing
