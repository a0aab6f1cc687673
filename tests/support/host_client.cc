#include "support/host_client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "messenger/socket_frames.h"
#include "support/replies.h"

namespace tovanel::testing {
namespace {

using Clock = std::chrono::steady_clock;

SocketClient connectOrThrow(const std::string& socketPath) {
  auto connected = SocketClient::connect(socketPath);
  if (!connected.client)
    throw std::runtime_error("cannot connect to the host: " + connected.error);
  return std::move(*connected.client);
}

// Waits until `fd` has something to read; false once `deadline` has passed.
bool readable(int fd, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  pollfd descriptor{fd, POLLIN, 0};
  return left.count() > 0 && ::poll(&descriptor, 1, static_cast<int>(left.count())) > 0;
}

// Reads exactly `size` bytes; false on end of stream, error or timeout.
bool readExactly(int fd, uint8_t* data, size_t size, Clock::time_point deadline) {
  while (size > 0) {
    const ssize_t count = readable(fd, deadline) ? ::recv(fd, data, size, 0) : -1;
    if (count <= 0)
      return false;
    data += count;
    size -= static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

HostClient::HostClient(const std::string& socketPath) : client_(connectOrThrow(socketPath)) {}

MethodReply HostClient::call(const std::string& method, const Value& arguments,
                             std::chrono::milliseconds timeout) {
  const auto reply =
      client_.call(kPrintingChannelName, encodeMethodCall({method, arguments}), timeout);
  const auto decoded =
      reply.failure == SocketClient::Failure::none ? decodeReply(reply.message) : std::nullopt;
  if (decoded)
    return *decoded;
  ADD_FAILURE() << method << " got no reply: " << reply.error;
  return errorReply("NO_REPLY", reply.error);
}

UniqueFd connectRaw(const std::string& socketPath) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid() ||
      ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect to " + socketPath + ": " + std::strerror(errno));
  }
  return fd;
}

bool sendRaw(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t count = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

std::vector<uint8_t> callFrame(uint32_t id, const std::string& channel,
                               const std::vector<uint8_t>& message) {
  auto frame = framePrefix(FrameKind::call, id, message.size(), channel);
  frame.insert(frame.end(), message.begin(), message.end());
  return frame;
}

std::optional<RawFrame> readRawFrame(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  uint8_t sizeField[kFrameSizeFieldBytes];
  if (!readExactly(fd, sizeField, sizeof sizeField, deadline))
    return std::nullopt;
  const uint32_t size = readFrameSizeField(sizeField);
  if (size < kFrameHeadBytes || size > kMaxFrameSize)
    return std::nullopt;
  std::vector<uint8_t> bytes(size);
  if (!readExactly(fd, bytes.data(), size, deadline))
    return std::nullopt;
  RawFrame frame{bytes[0], 0, {bytes.begin() + kFrameHeadBytes, bytes.end()}};
  for (size_t i = 0; i < 4; ++i)
    frame.id |= static_cast<uint32_t>(bytes[1 + i]) << (8 * i);
  return frame;
}

bool waitForClose(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  uint8_t buffer[4096];
  while (readable(fd, deadline)) {
    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count == 0 || (count < 0 && errno == ECONNRESET))
      return true;
    if (count < 0 && errno != EINTR)
      return false;
  }
  return false;
}

}  // namespace tovanel::testing
