#include "support/fault_logged_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/host_process.h"
#include "support/print_jobs.h"

extern char** environ;

namespace tovanel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The exit status once `pid` has ended by `deadline` (-1 for a signal), else nothing.
std::optional<int> exitBy(pid_t pid, Clock::time_point deadline) {
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR)
      return -1;
    if (Clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool waitForText(const std::string& path, std::string_view text,
                 std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (readFile(path).find(text) == std::string::npos) {
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

LoggedHost::LoggedHost(const std::string& socketPath, ErrorStream error) : socketPath_(socketPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = streams_.file("stdout");
  const std::string err = streams_.file("stderr");
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  int abandoned[2] = {-1, -1};
  if (error == ErrorStream::abandoned) {
    if (::pipe2(abandoned, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_adddup2(&actions, abandoned[1], 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  }
  const std::string program = printingHostPath();
  std::vector<std::string> words = {program, "--socket", socketPath};
  std::vector<char*> argv;
  for (auto& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  const int failed = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  for (const int end : abandoned) {
    if (end >= 0)
      ::close(end);
  }
  if (failed != 0)
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
  if (!waitForText(out, ": listening on " + socketPath, std::chrono::seconds(10))) {
    ::kill(pid_, SIGKILL);
    exitBy(pid_, Clock::time_point::max());
    reaped_ = true;
    throw std::runtime_error("printing_host did not start listening; it said: " + readFile(out) +
                             readFile(err));
  }
}

LoggedHost::~LoggedHost() {
  if (reaped_)
    return;
  if (const int status = stop(); status != 0) {
    ADD_FAILURE() << "printing_host ended with status " << status << "; it said:\n"
                  << standardOutput() << standardError();
  }
}

std::string LoggedHost::standardOutput() const {
  return readFile(streams_.file("stdout"));
}

std::string LoggedHost::standardError() const {
  return readFile(streams_.file("stderr"));
}

bool LoggedHost::waitForError(std::string_view text, std::chrono::milliseconds timeout) const {
  return waitForText(streams_.file("stderr"), text, timeout);
}

int LoggedHost::stop() {
  if (reaped_)
    return -1;
  ::kill(pid_, SIGTERM);
  reaped_ = true;
  if (const auto status = exitBy(pid_, Clock::now() + std::chrono::seconds(10)))
    return *status;
  ::kill(pid_, SIGKILL);
  exitBy(pid_, Clock::time_point::max());
  return -1;
}

}  // namespace tovanel::testing
