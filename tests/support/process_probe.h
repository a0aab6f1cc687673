// What a running process holds, read from /proc.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tovanel::testing {

// The open descriptors of `pid`, each with what it refers to ("socket:[1234]", ...).
std::map<int, std::string> openDescriptors(pid_t pid);

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

}  // namespace tovanel::testing
