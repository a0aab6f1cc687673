#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "cups/child_process.h"
#include "cups/command.h"
#include "cups/pipe.h"
#include "text/text.h"

extern char** environ;

namespace tovanel {
namespace {

LaunchError launchError(const CommandRequest& request, std::string step, int errorNumber,
                        std::string reason) {
  return LaunchError{request.toolPath, std::move(step), errorNumber, std::move(reason)};
}

// What would stop the request from reaching the tool exactly as written.
std::optional<LaunchError> refusal(const CommandRequest& request) {
  if (!request.toolPath.starts_with('/'))
    return launchError(request, "checking the request", EINVAL, "the tool path is not absolute");
  const auto hasNul = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  // argv cannot carry a NUL: the tool would get a shortened argument, maybe another queue.
  if (hasNul(request.toolPath) ||
      std::any_of(request.arguments.begin(), request.arguments.end(), hasNul))
    return launchError(request, "checking the request", EINVAL,
                       "the tool path or an argument contains a NUL character");
  return std::nullopt;
}

// Reads the pipes until each reaches its end or the deadline passes. Output goes to
// `output`; error text is read only to keep the child from stalling, and dropped.
// False when the deadline passed first.
bool drainPipes(UniqueFd& outputEnd, UniqueFd& errorEnd, std::string& output, Deadline deadline) {
  std::array<char, 65536> buffer;
  while (outputEnd.valid() || errorEnd.valid()) {
    std::array<pollfd, 2> watched{pollfd{outputEnd.get(), POLLIN, 0},
                                  pollfd{errorEnd.get(), POLLIN, 0}};  // poll skips -1
    const int timeout = pollTimeout(deadline);
    if (timeout == 0)
      return false;
    const int ready = poll(watched.data(), watched.size(), timeout);
    if (ready < 0)
      continue;  // interrupted; the deadline still bounds the loop
    for (size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].fd < 0 || watched[i].revents == 0)
        continue;
      UniqueFd& end = i == 0 ? outputEnd : errorEnd;
      const ssize_t count = read(end.get(), buffer.data(), buffer.size());
      if (count > 0 && i == 0)
        output.append(buffer.data(), static_cast<size_t>(count));
      if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
        end.reset();  // end of file, or a pipe that cannot be read any more
    }
  }
  return true;
}

// The host's environment with LC_ALL=C.UTF-8, so that the tools write the English labels
// the parsers read on a desktop of any language, and descriptions stay UTF-8.
std::vector<std::string> toolEnvironment() {
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (!std::string_view(*entry).starts_with("LC_ALL="))
      environment.emplace_back(*entry);
  }
  environment.emplace_back("LC_ALL=C.UTF-8");
  return environment;
}

}  // namespace

std::string LaunchError::fullDescription() const {
  const char* name = strerrorname_np(errorNumber);
  return shortMessage() + " (" + step + " failed, errno " + std::to_string(errorNumber) +
         (name ? std::string(" ") + name : std::string()) + ")";
}

std::string LaunchError::shortMessage() const {
  return "Could not start " + toolPath + ": " + reason;
}

std::string describeTimeout(const CommandRequest& request) {
  const auto limit = request.timeLimit;
  const std::string length = limit.count() % 1000 == 0
                                 ? std::to_string(limit.count() / 1000) + " seconds"
                                 : std::to_string(limit.count()) + " milliseconds";
  return request.toolPath + " was still running after " + length + " and was stopped";
}

CommandResult runCommand(const CommandRequest& request) {
  CommandResult result;
  const auto now = std::chrono::steady_clock::now();
  // Past a year the limit means "none"; the clamp keeps the sum from overflowing.
  const Deadline deadline = now + std::clamp<std::chrono::milliseconds>(
                                      request.timeLimit, {}, std::chrono::hours(24 * 365));

  if (auto refused = refusal(request)) {
    result.launchError = std::move(refused);
    return result;
  }
  std::optional<Pipe> output;
  std::optional<Pipe> error;
  if ((request.captureOutput && !(output = makePipe())) ||
      (request.separateError && !(error = makePipe()))) {
    const int errorNumber = errno;
    result.launchError =
        launchError(request, "pipe2", errorNumber, std::generic_category().message(errorNumber));
    return result;
  }

  auto spawned = ChildProcess::spawn(request.toolPath, request.arguments, toolEnvironment(),
                                     output ? output->writeEnd.get() : -1,
                                     error ? error->writeEnd.get() : -1, deadline);
  // Our copies of the writing ends go now, so the pipes end when the child's do.
  UniqueFd outputEnd = output ? std::move(output->readEnd) : UniqueFd();
  UniqueFd errorEnd = error ? std::move(error->readEnd) : UniqueFd();
  output.reset();
  error.reset();
  if (!spawned.child) {
    result.launchError = launchError(request, std::move(spawned.failedStep), spawned.errorNumber,
                                     std::move(spawned.reason));
    return result;
  }
  result.launched = true;
  ChildProcess& child = *spawned.child;

  std::string bytes;
  // Reading always comes before waiting: a child blocked on a full pipe never exits.
  if (!drainPipes(outputEnd, errorEnd, bytes, deadline)) {
    result.timedOut = true;
    result.exitStatus = child.killAndWait();
    return result;
  }
  if (request.waitForExit) {
    if (const auto status = child.waitUntil(deadline)) {
      result.exitStatus = *status;
    } else {
      result.timedOut = true;
      result.exitStatus = child.killAndWait();
      return result;
    }
  }
  if (request.captureOutput && isValidUtf8(bytes))
    result.outputText = std::move(bytes);
  return result;
}

}  // namespace tovanel
