#include "support/host_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tovanel::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe2 failed");
    read = fds[0];
    write = fds[1];
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() {
    if (read >= 0)
      ::close(read);
    read = -1;
  }
  void closeWrite() {
    if (write >= 0)
      ::close(write);
    write = -1;
  }
};

// Starts `command` with the given descriptors as its standard input, output and error.
pid_t spawn(const std::vector<std::string>& command, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
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

// Waits for `pid` until `deadline`; the exit status, or nothing if it is still running.
std::optional<int> waitUntil(pid_t pid, Clock::time_point deadline) {
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
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
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
  Pipe in;
  Pipe out;
  Pipe err;
  const pid_t pid = spawn(command, in.read, out.write, err.write);
  in.closeRead();
  out.closeWrite();
  err.closeWrite();
  ::fcntl(in.write, F_SETFL, O_NONBLOCK);
  if (input.empty())
    in.closeWrite();

  ProgramResult result;
  const auto deadline = Clock::now() + timeout;
  size_t written = 0;
  while (out.read >= 0 || err.read >= 0) {
    pollfd descriptors[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    if (::poll(descriptors, 3, static_cast<int>(left.count())) < 0 && errno != EINTR)
      break;
    if (descriptors[2].revents) {
      const ssize_t count = ::write(in.write, input.data() + written, input.size() - written);
      if (count > 0)
        written += static_cast<size_t>(count);
      if (count < 0 || written == input.size())
        in.closeWrite();
    }
    for (auto [pipe, text] : {std::pair{&out, &result.out}, std::pair{&err, &result.err}}) {
      const pollfd& descriptor = pipe == &out ? descriptors[0] : descriptors[1];
      if (!descriptor.revents)
        continue;
      char buffer[4096];
      const ssize_t count = ::read(pipe->read, buffer, sizeof buffer);
      if (count > 0)
        text->append(buffer, static_cast<size_t>(count));
      else if (count == 0 || errno != EINTR)
        pipe->closeRead();
    }
  }
  const auto status = result.timedOut ? std::nullopt : waitUntil(pid, deadline);
  if (!status) {
    result.timedOut = true;
    result.status = killAndReap(pid);
  } else {
    result.status = *status;
  }
  return result;
}

ProgramResult runPrintctl(const std::string& socketPath, const std::vector<std::string>& arguments,
                          const std::string& input) {
  std::vector<std::string> command = {printctlPath(), "--socket", socketPath};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProgram(command, input);
}

struct HostProcess::State {
  std::optional<TemporaryFolder> folder;
  std::string socketPath;
  pid_t pid = -1;
  bool reaped = false;
  std::thread reader;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::string output;
  bool outputEnded = false;

  void readOutput(int fd) {
    char buffer[4096];
    while (true) {
      const ssize_t count = ::read(fd, buffer, sizeof buffer);
      if (count < 0 && errno == EINTR)
        continue;
      std::lock_guard lock(mutex);
      if (count <= 0) {
        outputEnded = true;
        changed.notify_all();
        break;
      }
      output.append(buffer, static_cast<size_t>(count));
      changed.notify_all();
    }
    ::close(fd);
  }
};

HostProcess::HostProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}

HostProcess::HostProcess(HostProcess&& other) noexcept : state_(std::move(other.state_)) {}

HostProcess HostProcess::start(const std::string& socketPath,
                               const std::vector<std::string>& extraArguments) {
  auto state = std::make_unique<State>();
  if (socketPath.empty()) {
    state->folder.emplace();
    state->socketPath = state->folder->path() + "/channel.sock";
  } else {
    state->socketPath = socketPath;
  }
  std::vector<std::string> command = {printingHostPath(), "--socket", state->socketPath};
  command.insert(command.end(), extraArguments.begin(), extraArguments.end());
  return launch(std::move(state), command);
}

HostProcess HostProcess::startOnDefaultSocket(const std::string& expectedPath) {
  auto state = std::make_unique<State>();
  state->socketPath = expectedPath;
  return launch(std::move(state), {printingHostPath()});
}

HostProcess HostProcess::launch(std::unique_ptr<State> state,
                                const std::vector<std::string>& command) {
  Pipe output;
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  state->pid = spawn(command, devNull, output.write, output.write);
  ::close(devNull);
  output.closeWrite();
  const int readEnd = output.read;
  output.read = -1;
  State* raw = state.get();
  state->reader = std::thread([raw, readEnd] { raw->readOutput(readEnd); });

  HostProcess host(std::move(state));
  if (!host.waitForOutput(": listening on " + host.socketPath())) {
    const std::string said = host.output();
    host.kill();
    throw std::runtime_error("printing_host did not start listening; it said: " + said);
  }
  return host;
}

HostProcess::~HostProcess() {
  if (!state_)
    return;
  if (!state_->reaped) {
    const int status = stop();
    if (status != 0)
      ADD_FAILURE() << "printing_host ended with status " << status << "; it said:\n" << output();
  }
  if (state_->reader.joinable())
    state_->reader.join();
}

const std::string& HostProcess::socketPath() const {
  return state_->socketPath;
}

pid_t HostProcess::pid() const {
  return state_->pid;
}

int HostProcess::stop(int signal) {
  if (state_->reaped)
    return -1;
  ::kill(state_->pid, signal);
  auto status = waitUntil(state_->pid, Clock::now() + 10s);
  state_->reaped = true;
  if (!status)
    return killAndReap(state_->pid);
  return *status;
}

void HostProcess::kill() {
  if (state_->reaped)
    return;
  killAndReap(state_->pid);
  state_->reaped = true;
}

std::string HostProcess::output() const {
  std::lock_guard lock(state_->mutex);
  return state_->output;
}

bool HostProcess::waitForOutput(std::string_view text, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    return state_->output.find(text) != std::string::npos || state_->outputEnded;
  }) && state_->output.find(text) != std::string::npos;
}

}  // namespace tovanel::testing
