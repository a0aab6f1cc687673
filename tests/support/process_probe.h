// What a running process holds, read from /proc.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tovanel::testing {

std::vector<int> openDescriptors(pid_t pid);
// Direct children, zombies (exited, not yet reaped) included.
std::vector<pid_t> childrenOf(pid_t pid);
// A size of /proc/PID/status, such as "VmRSS" or "VmSize", in KiB; -1 when unreadable.
long statusKibibytes(pid_t pid, const std::string& field);
// Polls `condition` every 5 ms for up to ten seconds; whether it came true.
bool eventually(const std::function<bool()>& condition);

}  // namespace tovanel::testing
