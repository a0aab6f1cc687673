#include "messenger/socket_connection.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "messenger/socket_frames.h"

namespace tovanel {
namespace {

constexpr size_t kMaxIovecs = 32;

}  // namespace

SocketConnection::SocketConnection(UniqueFd socket) : socket_(std::move(socket)) {}

SocketConnection::ReadState SocketConnection::readFrames(std::vector<ReceivedFrame>& frames,
                                                         size_t maxFrames) {
  size_t added = 0;
  while (added < maxFrames) {
    uint8_t* target;
    size_t wanted;
    if (sizeRead_ < kFrameSizeFieldBytes) {
      target = sizeField_ + sizeRead_;
      wanted = kFrameSizeFieldBytes - sizeRead_;
    } else {
      target = current_.bytes.get() + currentRead_;
      wanted = current_.size - currentRead_;
    }
    const ssize_t count = ::recv(socket_.get(), target, wanted, MSG_DONTWAIT);
    if (count == 0)
      return ReadState::hungUp;
    if (count < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        return ReadState::open;
      problem_ = std::strerror(errno);
      return ReadState::failed;
    }
    if (sizeRead_ < kFrameSizeFieldBytes) {
      sizeRead_ += static_cast<size_t>(count);
      if (sizeRead_ < kFrameSizeFieldBytes)
        continue;
      const uint32_t size = readFrameSizeField(sizeField_);
      problem_ = checkFrameSize(size);
      if (!problem_.empty())
        return ReadState::violated;
      // Not zeroed: every byte is written by the reads that follow. Without room for it
      // (a limited address space, many large frames at once) only this client is refused.
      current_.bytes.reset(new (std::nothrow) uint8_t[size]);
      if (!current_.bytes) {
        problem_ = "no memory for a frame of " + std::to_string(size) + " bytes";
        return ReadState::violated;
      }
      current_.size = size;
      currentRead_ = 0;
      continue;
    }
    currentRead_ += static_cast<size_t>(count);
    if (currentRead_ == current_.size) {
      frames.push_back(std::move(current_));
      current_ = {};
      sizeRead_ = 0;
      ++added;
    }
  }
  return ReadState::open;
}

void SocketConnection::queue(std::vector<uint8_t> prefix, std::vector<uint8_t> body) {
  pendingBytes_ += prefix.size() + body.size();
  output_.push_back(Output{std::move(prefix), std::move(body), 0});
}

bool SocketConnection::flush() {
  while (!output_.empty()) {
    iovec parts[kMaxIovecs];
    size_t partCount = 0;
    for (const Output& item : output_) {
      if (partCount + 2 > kMaxIovecs)
        break;
      size_t skip = item.sent;
      for (const auto* bytes : {&item.prefix, &item.body}) {
        if (skip >= bytes->size()) {
          skip -= bytes->size();
          continue;
        }
        parts[partCount++] = {const_cast<uint8_t*>(bytes->data()) + skip, bytes->size() - skip};
        skip = 0;
      }
    }
    msghdr message = {};
    message.msg_iov = parts;
    message.msg_iovlen = partCount;
    // MSG_NOSIGNAL: a client that has gone must not kill the host with SIGPIPE.
    const ssize_t sent = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        return true;
      problem_ = std::strerror(errno);
      return false;
    }
    size_t left = static_cast<size_t>(sent);
    pendingBytes_ -= left;
    while (left > 0) {
      Output& front = output_.front();
      const size_t total = front.prefix.size() + front.body.size();
      const size_t taken = std::min(left, total - front.sent);
      front.sent += taken;
      left -= taken;
      if (front.sent == total)
        output_.pop_front();
    }
  }
  return true;
}

}  // namespace tovanel
