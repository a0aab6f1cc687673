#include "support/host_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "channel/printing_channel_handler.h"
#include "messenger/socket_frames.h"
#include "support/process_probe.h"
#include "support/replies.h"

extern char** environ;

namespace tovanel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Starts `command` with its standard streams on the files `in`, `out` and `err`.
pid_t spawn(const std::vector<std::string>& command, const std::string& in, const std::string& out,
            const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  for (const auto& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0)
    throw std::runtime_error("cannot start " + command[0]);
  return pid;
}

// The exit status (-1 for a signal) once `pid` ends; killed and -1 at `deadline`.
int exitStatus(pid_t pid, Clock::time_point deadline) {
  for (int status = 0;; std::this_thread::sleep_for(5ms)) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (Clock::now() >= deadline)
      ::kill(pid, SIGKILL), deadline = Clock::time_point::max();
  }
}

// Reads exactly `size` bytes by `deadline`; false on end of stream, error or time.
bool readExactly(int fd, uint8_t* data, size_t size, Clock::time_point deadline) {
  for (ssize_t count; size > 0; data += count, size -= static_cast<size_t>(count)) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd descriptor{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0 ||
        (count = ::recv(fd, data, size, 0)) <= 0)
      return false;
  }
  return true;
}

}  // namespace

std::string printingHostPath() {
  return std::string(TOVANEL_BINARY_DIR) + "/printing_host";
}

ProgramResult runProgram(const std::vector<std::string>& command, const std::string& input,
                         std::chrono::milliseconds timeout) {
  const TemporaryFolder files;
  files.write("in", {input.begin(), input.end()});
  const pid_t pid = spawn(command, files.file("in"), files.file("out"), files.file("err"));
  const int status = exitStatus(pid, Clock::now() + timeout);
  return {status, readFile(files.file("out")), readFile(files.file("err"))};
}

HostProcess::HostProcess(const std::string& socketPath, Start start)
    : socketPath_(socketPath.empty() ? files_.file("channel.sock") : socketPath) {
  std::vector<std::string> command = {printingHostPath()};
  if (start == Start::socketOption)
    command.insert(command.end(), {"--socket", socketPath_});
  if (start == Start::socketActivated)  // the launcher hands on only the variables named
    command.insert(command.begin(), {"/usr/bin/systemd-socket-activate", "-l", socketPath_, "-E",
                                     "CUPS_SERVER", "-E", "HOME"});
  pid_ = spawn(command, "/dev/null", files_.file("out"), files_.file("err"));
  if (!(start == Start::socketActivated ? waitFor("err", "Listening on " + socketPath_)
                                        : waitFor("out", ": listening on " + socketPath_))) {
    kill();
    throw std::runtime_error("printing_host did not start: " + standardError());
  }
}

HostProcess::~HostProcess() {
  if (const int status = stop(); status != 0)
    ADD_FAILURE() << "printing_host ended with " << status << ":\n" << standardError();
}

bool HostProcess::waitFor(const std::string& stream, std::string_view text) const {
  return eventually([&] { return readFile(files_.file(stream)).find(text) != std::string::npos; });
}

int HostProcess::stop(int signal) {
  if (std::exchange(reaped_, true))
    return 0;
  ::kill(pid_, signal);
  return exitStatus(pid_, Clock::now() + 10s);
}

void HostProcess::kill() {
  if (!std::exchange(reaped_, true))
    ::kill(pid_, SIGKILL), exitStatus(pid_, Clock::time_point::max());
}

HostClient::HostClient(const std::string& socketPath)
    : client_([&] {
        auto connected = SocketClient::connect(socketPath);
        if (!connected.client)
          throw std::runtime_error("cannot connect to the host: " + connected.error);
        return std::move(*connected.client);
      }()) {}

MethodReply HostClient::call(const std::string& method, const Value& arguments,
                             std::chrono::milliseconds timeout) {
  const auto reply =
      client_.call(kPrintingChannelName, encodeMethodCall({method, arguments}), timeout);
  const auto decoded =
      reply.failure == SocketClient::Failure::none ? decodeReply(reply.message) : std::nullopt;
  EXPECT_TRUE(decoded) << method << " got no reply: " << reply.error;
  return decoded.value_or(errorReply("NO_REPLY", reply.error));
}

UniqueFd connectRaw(const std::string& socketPath) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot connect to " + socketPath);
  return fd;
}

bool sendRaw(int fd, const std::vector<uint8_t>& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> callFrame(uint32_t id, const std::vector<uint8_t>& message) {
  auto frame = framePrefix(FrameKind::call, id, message.size(), kPrintingChannelName);
  frame.insert(frame.end(), message.begin(), message.end());
  return frame;
}

std::optional<RawFrame> readRawFrame(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  uint8_t sizeField[kFrameSizeFieldBytes];
  if (!readExactly(fd, sizeField, sizeof sizeField, deadline))
    return std::nullopt;
  std::vector<uint8_t> bytes(readFrameSizeField(sizeField));
  if (!checkFrameSize(bytes.size()).empty() ||
      !readExactly(fd, bytes.data(), bytes.size(), deadline))
    return std::nullopt;
  const auto view = parseFrame(bytes);
  if (!view)
    return std::nullopt;
  const auto& message = view.value->message;
  return RawFrame{bytes[0], view.value->id, {message.begin(), message.end()}};
}

}  // namespace tovanel::testing
