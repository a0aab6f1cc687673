#include "cups/child_process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <system_error>
#include <thread>
#include <utility>

namespace tovanel {
namespace {

std::string reasonFor(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

// The exit code, or the number of the signal that ended the child.
int32_t terminationStatus(int status) {
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    return WTERMSIG(status);
  return -1;
}

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// The texts as exec wants them, ending in a null pointer; valid while the texts are.
void appendPointers(const std::vector<std::string>& texts, std::vector<char*>& pointers) {
  for (const auto& text : texts)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
}

}  // namespace

int pollTimeout(Deadline deadline) {
  const auto now = std::chrono::steady_clock::now();
  if (deadline <= now)
    return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
  return static_cast<int>(std::min<int64_t>(left.count(), INT_MAX));
}

SpawnOutcome ChildProcess::spawn(const std::string& toolPath,
                                 const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment, int outputDescriptor,
                                 int errorDescriptor, Deadline deadline) {
  SpawnOutcome outcome;
  const auto fail = [&outcome](std::string step, int errorNumber) {
    outcome.failedStep = std::move(step);
    outcome.errorNumber = errorNumber;
    outcome.reason = reasonFor(errorNumber);
    return std::move(outcome);
  };

  SpawnFileActions actions;
  if (outputDescriptor >= 0) {
    if (int error = posix_spawn_file_actions_adddup2(actions.get(), outputDescriptor, 1))
      return fail("posix_spawn_file_actions_adddup2", error);
  }
  if (errorDescriptor >= 0) {
    if (int error = posix_spawn_file_actions_adddup2(actions.get(), errorDescriptor, 2))
      return fail("posix_spawn_file_actions_adddup2", error);
  }
  // Close-on-exec covers our own descriptors; this also keeps out any that another part
  // of the host opened without it.
  if (int error = posix_spawn_file_actions_addclosefrom_np(actions.get(), 3))
    return fail("posix_spawn_file_actions_addclosefrom_np", error);

  // Dispositions that the host ignores (SIGPIPE, say) and signals it blocks would
  // otherwise carry over into the tool.
  SpawnAttributes attributes;
  sigset_t everySignal;
  sigset_t noSignal;
  sigfillset(&everySignal);
  sigdelset(&everySignal, SIGKILL);
  sigdelset(&everySignal, SIGSTOP);
  sigemptyset(&noSignal);
  posix_spawnattr_setsigdefault(attributes.get(), &everySignal);
  posix_spawnattr_setsigmask(attributes.get(), &noSignal);
  // A group of its own: a tool stopped at its deadline takes what it started with it.
  posix_spawnattr_setpgroup(attributes.get(), 0);
  posix_spawnattr_setflags(attributes.get(),
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> argv{const_cast<char*>(toolPath.c_str())};
  appendPointers(arguments, argv);
  std::vector<char*> envp;
  appendPointers(environment, envp);

  pid_t pid = -1;
  // glibc reports a failed exec here, and reaps the child that failed.
  if (int error = posix_spawn(&pid, toolPath.c_str(), actions.get(), attributes.get(), argv.data(),
                              envp.data()))
    return fail("posix_spawn", error);

  // Without a pidfd (an old kernel, no descriptor to spare) waiting falls back to polling.
  // The system call is made directly: glibc 2.36 declares pidfd_open without C linkage.
  UniqueFd exitDescriptor(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  outcome.child.emplace(ChildProcess(pid, std::move(exitDescriptor), deadline));
  return outcome;
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd exitDescriptor, Deadline deadline)
    : pid_(pid), exitDescriptor_(std::move(exitDescriptor)), deadline_(deadline) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      exitDescriptor_(std::move(other.exitDescriptor_)),
      deadline_(other.deadline_) {}

ChildProcess::~ChildProcess() {
  if (pid_ < 0 || waitUntil(std::chrono::steady_clock::now()))
    return;
  // Waiting for this one pid (never for any child) leaves the host's other children alone.
  const pid_t pid = std::exchange(pid_, -1);
  const int descriptor = exitDescriptor_.release();
  const Deadline deadline = deadline_;
  const auto reap = [pid, descriptor, deadline] {
    ChildProcess orphan(pid, UniqueFd(descriptor), deadline);
    if (!orphan.waitUntil(deadline))
      orphan.killAndWait();
  };
  try {
    std::thread(reap).detach();
  } catch (const std::system_error&) {
    reap();  // no thread to be had: wait here rather than leave a zombie
  }
}

std::optional<int32_t> ChildProcess::waitUntil(Deadline deadline) {
  while (pid_ >= 0) {
    int status = 0;
    const pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) {
      pid_ = -1;
      exitDescriptor_.reset();
      return terminationStatus(status);
    }
    if (reaped < 0 && errno != EINTR) {
      // ECHILD: the host ignores SIGCHLD, so the system reaped it and kept no status.
      pid_ = -1;
      exitDescriptor_.reset();
      return -1;
    }
    if (reaped == 0) {
      const int timeout = pollTimeout(deadline);
      if (timeout == 0)
        return std::nullopt;
      if (exitDescriptor_.valid()) {
        pollfd exited{exitDescriptor_.get(), POLLIN, 0};
        poll(&exited, 1, timeout);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout, 2)));
      }
    }
  }
  return -1;
}

int32_t ChildProcess::killAndWait() {
  // The pid, and so the group's id, cannot have been reused: it stays ours until it is
  // reaped.
  if (pid_ >= 0)
    kill(-pid_, SIGKILL);
  return waitUntil(Deadline::max()).value_or(-1);
}

}  // namespace tovanel
