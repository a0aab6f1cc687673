#include "support/host_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tovanel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Starts `command` reading `in` and writing `out`, and `err` or else `errorFd`.
pid_t spawn(const std::vector<std::string>& command, const std::string& in, const std::string& out,
            const std::string& err, int errorFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (errorFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  for (const auto& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    throw std::runtime_error("cannot start " + command[0] + ": " + std::strerror(failed));
  return pid;
}

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
    std::this_thread::sleep_for(5ms);
  }
}

int killAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  exitBy(pid, Clock::time_point::max());
  return -1;
}

bool waitForText(const std::string& path, std::string_view text,
                 std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (readFile(path).find(text) == std::string::npos) {
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace

std::string printingHostPath() {
  return std::string(TOVANEL_BINARY_DIR) + "/printing_host";
}

std::string printctlPath() {
  return std::string(TOVANEL_BINARY_DIR) + "/printctl";
}

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input,
                         std::chrono::milliseconds timeout) {
  const TemporaryFolder files;
  files.write("in", {input.begin(), input.end()});
  const pid_t pid = spawn(command, files.file("in"), files.file("out"), files.file("err"));
  const auto status = exitBy(pid, Clock::now() + timeout);
  return {status ? *status : killAndReap(pid), readFile(files.file("out")),
          readFile(files.file("err"))};
}

ProgramResult runPrintctl(const std::string& socketPath, const std::vector<std::string>& arguments,
                          const std::string& input) {
  std::vector<std::string> command = {printctlPath(), "--socket", socketPath};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProgram(command, input);
}

HostProcess::HostProcess(HostOptions options)
    : socketPath_(options.socketPath.empty() ? files_.file("channel.sock") : options.socketPath) {
  std::vector<std::string> command = {printingHostPath()};
  if (!options.defaultSocket)
    command.insert(command.end(), {"--socket", socketPath_});
  int abandoned[2] = {-1, -1};
  if (options.abandonedErrors && ::pipe2(abandoned, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe2 failed");
  pid_ = spawn(command, "/dev/null", files_.file("out"), files_.file("err"), abandoned[1]);
  for (const int end : abandoned) {
    if (end >= 0)
      ::close(end);
  }
  if (!waitForText(files_.file("out"), ": listening on " + socketPath_, 10s)) {
    kill();
    throw std::runtime_error("printing_host did not start listening; it said: " + standardOutput() +
                             standardError());
  }
}

HostProcess::~HostProcess() {
  if (reaped_)
    return;
  if (const int status = stop(); status != 0) {
    ADD_FAILURE() << "printing_host ended with status " << status << "; it said:\n"
                  << standardOutput() << standardError();
  }
}

bool HostProcess::waitForError(std::string_view text) const {
  return waitForText(files_.file("err"), text, 10s);
}

int HostProcess::stop(int signal) {
  if (std::exchange(reaped_, true))
    return -1;
  ::kill(pid_, signal);
  const auto status = exitBy(pid_, Clock::now() + 10s);
  return status ? *status : killAndReap(pid_);
}

void HostProcess::kill() {
  if (!std::exchange(reaped_, true))
    killAndReap(pid_);
}

}  // namespace tovanel::testing
