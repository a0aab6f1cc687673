// A started child process, reaped exactly once: by waiting for it, or in the background.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cups/pipe.h"

namespace tovanel {

using Deadline = std::chrono::steady_clock::time_point;

// The milliseconds left until `deadline`, rounded up, 0 once it has passed: a timeout
// for poll.
int pollTimeout(Deadline deadline);

struct SpawnOutcome;

class ChildProcess {
 public:
  // Starts `toolPath` (absolute) with `arguments` as argv[1..], `environment` (NAME=value
  // entries), and the host's working directory and standard input. `outputDescriptor`
  // and `errorDescriptor`, when not -1, become the child's standard output and error;
  // otherwise it keeps the host's. The child leads a process group of its own and gets
  // default signal dispositions, an empty signal mask and no other descriptor. A child
  // still running at `deadline` is killed with its whole group, even when left to the
  // background.
  static SpawnOutcome spawn(const std::string& toolPath, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment, int outputDescriptor,
                            int errorDescriptor, Deadline deadline);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child not yet reaped is left to a background reaper that waits for it without
  // touching the host's other children.
  ~ChildProcess();

  pid_t pid() const { return pid_; }

  // Waits until the child exits or the deadline passes; its termination status (exit
  // code, or the number of the signal that ended it), or nothing at the deadline.
  std::optional<int32_t> waitUntil(Deadline deadline);

  // Kills the child's process group, so that nothing it started lives on, and waits for
  // the child; its termination status.
  int32_t killAndWait();

 private:
  ChildProcess(pid_t pid, UniqueFd exitDescriptor, Deadline deadline);

  pid_t pid_ = -1;           // -1 once reaped
  UniqueFd exitDescriptor_;  // a pidfd, readable once the child has exited; may be absent
  Deadline deadline_;
};

struct SpawnOutcome {
  std::optional<ChildProcess> child;
  // When no child started: the failed call, its errno and a reason for people.
  std::string failedStep;
  int errorNumber = 0;
  std::string reason;
};

}  // namespace tovanel
