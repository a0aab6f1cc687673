#include "messenger/socket_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "messenger/socket_frames.h"
#include "messenger/socket_listener.h"

namespace tovanel {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events`; false when the deadline passed first.
bool waitFor(int fd, short events, std::optional<Clock::time_point> deadline) {
  while (true) {
    int timeoutMs = -1;
    if (deadline) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0)
        return false;
      timeoutMs = static_cast<int>(left.count());
    }
    pollfd descriptor{fd, events, 0};
    const int ready = ::poll(&descriptor, 1, timeoutMs);
    if (ready > 0)
      return true;
    if (ready == 0)
      return false;
    if (errno != EINTR)
      return true;  // let the read or write that follows report the error
  }
}

enum class IoResult { done, closed, timedOut, failed };

IoResult readExactly(int fd, uint8_t* data, size_t size,
                     std::optional<Clock::time_point> deadline) {
  while (size > 0) {
    if (!waitFor(fd, POLLIN, deadline))
      return IoResult::timedOut;
    const ssize_t count = ::recv(fd, data, size, MSG_DONTWAIT);
    if (count == 0)
      return IoResult::closed;
    if (count < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
        continue;
      return errno == ECONNRESET ? IoResult::closed : IoResult::failed;
    }
    data += count;
    size -= static_cast<size_t>(count);
  }
  return IoResult::done;
}

IoResult writeAll(int fd, std::span<const uint8_t> first, std::span<const uint8_t> second,
                  std::optional<Clock::time_point> deadline) {
  while (!first.empty() || !second.empty()) {
    if (!waitFor(fd, POLLOUT, deadline))
      return IoResult::timedOut;
    iovec parts[2] = {{const_cast<uint8_t*>(first.data()), first.size()},
                      {const_cast<uint8_t*>(second.data()), second.size()}};
    msghdr message = {};
    message.msg_iov = first.empty() ? parts + 1 : parts;
    message.msg_iovlen = first.empty() ? 1 : 2;
    const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
        continue;
      return errno == EPIPE || errno == ECONNRESET ? IoResult::closed : IoResult::failed;
    }
    size_t done = static_cast<size_t>(sent);
    const size_t fromFirst = std::min(done, first.size());
    first = first.subspan(fromFirst);
    second = second.subspan(done - fromFirst);
  }
  return IoResult::done;
}

struct Frame {
  IoResult result = IoResult::failed;
  std::string problem;
  std::vector<uint8_t> bytes;
};

Frame readFrame(int fd, std::optional<Clock::time_point> deadline) {
  Frame frame;
  uint8_t sizeField[kFrameSizeFieldBytes];
  frame.result = readExactly(fd, sizeField, sizeof sizeField, deadline);
  if (frame.result != IoResult::done)
    return frame;
  const uint32_t size = readFrameSizeField(sizeField);
  frame.problem = checkFrameSize(size);
  if (!frame.problem.empty()) {
    frame.result = IoResult::failed;
    return frame;
  }
  frame.bytes.resize(size);
  frame.result = readExactly(fd, frame.bytes.data(), size, deadline);
  return frame;
}

SocketClient::Reply failed(SocketClient::Failure failure, std::string error) {
  return SocketClient::Reply{failure, std::move(error), {}};
}

}  // namespace

SocketClient::Connected SocketClient::connect(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return {std::nullopt, Failure::noHost, "the socket path " + path + " is too long"};
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid())
    return {std::nullopt, Failure::broken, std::string("socket: ") + std::strerror(errno)};
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const bool absent = errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR;
    return {std::nullopt, absent ? Failure::noHost : Failure::broken,
            "cannot connect to " + path + ": " + std::strerror(errno)};
  }
  const auto owner = peerUid(socket.get());
  if (!owner || !peerAllowed(*owner)) {
    return {std::nullopt, Failure::refused,
            "the socket " + path + " is served by " +
                (owner ? "uid " + std::to_string(*owner) : std::string("an unknown user")) +
                ", neither this user nor root"};
  }
  return {SocketClient(std::move(socket)), Failure::none, {}};
}

SocketClient::Reply SocketClient::call(std::string_view channel, std::span<const uint8_t> message,
                                       std::optional<std::chrono::milliseconds> timeout) {
  std::optional<Clock::time_point> deadline;
  if (timeout)
    deadline = Clock::now() + *timeout;
  if (frameSize(FrameKind::call, message.size(), channel) > kMaxFrameSize ||
      channel.size() > 0xffff)
    return failed(Failure::broken, "the call is over the frame limit of the host");

  const uint32_t id = nextId_++;
  const auto prefix = framePrefix(FrameKind::call, id, message.size(), channel);
  const IoResult written = writeAll(socket_.get(), prefix, message, deadline);
  if (written == IoResult::timedOut)
    return failed(Failure::timedOut, "the host took no more of the call in time");
  // After a failed write the host may still have said why it closed the connection.
  while (true) {
    Frame frame = readFrame(socket_.get(), deadline);
    if (frame.result == IoResult::timedOut)
      return failed(Failure::timedOut, "no reply from the host in time");
    if (frame.result != IoResult::done) {
      if (!frame.problem.empty())
        return failed(Failure::broken, "the host sent " + frame.problem);
      return failed(Failure::broken, "the host closed the connection before replying");
    }
    const auto view = parseFrame(frame.bytes);
    if (!view)
      return failed(Failure::broken, "the host sent " + view.error);
    if (view.value->kind == FrameKind::failure) {
      const auto& reason = view.value->message;
      return failed(Failure::refused, std::string(reason.begin(), reason.end()));
    }
    if (view.value->kind == FrameKind::reply && view.value->id == id)
      return Reply{Failure::none, {}, {view.value->message.begin(), view.value->message.end()}};
    // A reply to an earlier call that timed out: skip it.
  }
}

}  // namespace tovanel
