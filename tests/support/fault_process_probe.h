// What a running process holds, read from /proc: its open descriptors, its resident
// memory and its children. For tests that watch printing_host over many calls.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tovanel::testing {

// The open descriptors of `pid`, each with what it refers to ("/dev/null",
// "socket:[1234]", "pipe:[5678]", "anon_inode:[pidfd]"); empty when unreadable.
std::map<int, std::string> openDescriptors(pid_t pid);

// One line per descriptor, "3 -> socket:[1234]", for failure messages.
std::string describeDescriptors(const std::map<int, std::string>& descriptors);

// The resident set size of `pid` (VmRSS) in KiB; -1 when unreadable.
long residentKibibytes(pid_t pid);

// The address space that `pid` has mapped (VmSize) in KiB; -1 when unreadable.
long addressSpaceKibibytes(pid_t pid);

// A direct child of a process, as /proc shows it.
struct ChildProcessState {
  pid_t pid = 0;
  char state = '?';     // R, S, D, Z (a zombie: exited, not yet reaped), ...
  std::string command;  // the name in /proc/PID/stat, at most 15 characters
};

// The processes whose parent is `pid`, zombies included.
std::vector<ChildProcessState> childrenOf(pid_t pid);

// The zombies among them.
std::vector<ChildProcessState> zombieChildrenOf(pid_t pid);

// "1234 lpstat (Z), ..." for failure messages.
std::string describeChildren(const std::vector<ChildProcessState>& children);

}  // namespace tovanel::testing
