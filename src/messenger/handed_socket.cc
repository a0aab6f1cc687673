#include "messenger/handed_socket.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>

namespace tovanel {
namespace {

constexpr int kFirstHandedFd = 3;

std::optional<std::string> takeVariable(const char* name) {
  const char* value = std::getenv(name);
  std::optional<std::string> taken;
  if (value)
    taken = value;
  ::unsetenv(name);
  return taken;
}

// A whole decimal number and nothing else.
std::optional<long> number(const std::string& text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0)
    return std::nullopt;
  return value;
}

}  // namespace

Decoded<UniqueFd> takeHandedSocket() {
  const auto pidText = takeVariable("LISTEN_PID");
  const auto countText = takeVariable("LISTEN_FDS");
  takeVariable("LISTEN_FDNAMES");
  if (!pidText || !countText)
    return Decoded<UniqueFd>::success(UniqueFd());
  const auto pid = number(*pidText);
  if (!pid)
    return Decoded<UniqueFd>::failure("LISTEN_PID is not a process id: \"" + *pidText + "\"");
  // Left by a parent that was handed sockets and started us without passing them on.
  if (*pid != ::getpid())
    return Decoded<UniqueFd>::success(UniqueFd());
  const auto count = number(*countText);
  if (!count)
    return Decoded<UniqueFd>::failure("LISTEN_FDS is not a count: \"" + *countText + "\"");
  if (*count == 0)
    return Decoded<UniqueFd>::success(UniqueFd());
  if (*count > 1) {
    return Decoded<UniqueFd>::failure("handed " + std::to_string(*count) +
                                      " sockets; the host serves one");
  }
  UniqueFd handed(kFirstHandedFd);
  if (::fcntl(handed.get(), F_SETFD, FD_CLOEXEC) != 0) {
    handed.release();  // not open, so not ours to close
    return Decoded<UniqueFd>::failure("handed a socket at descriptor 3, which is not open");
  }
  return Decoded<UniqueFd>::success(std::move(handed));
}

}  // namespace tovanel
