// What a running process holds, read from /proc.
#pragma once

#include <sys/types.h>

#include <vector>

namespace tovanel::testing {

std::vector<int> openDescriptors(pid_t pid);
// Direct children, zombies (exited, not yet reaped) included.
std::vector<pid_t> childrenOf(pid_t pid);
// VmRSS and VmSize of `pid` in KiB; -1 when unreadable.
long residentKibibytes(pid_t pid);
long addressSpaceKibibytes(pid_t pid);

}  // namespace tovanel::testing
