// One client connection of the host: frames are read straight into buffers of their
// final size, and replies wait in a queue until the client takes them, so neither a
// slow writer nor a slow reader ever blocks the loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_fd.h"

namespace tovanel {

// The bytes of one frame after its size field, read in place.
struct ReceivedFrame {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
};

class SocketConnection {
 public:
  explicit SocketConnection(UniqueFd socket);
  SocketConnection(const SocketConnection&) = delete;
  SocketConnection& operator=(const SocketConnection&) = delete;

  int fd() const { return socket_.get(); }

  enum class ReadState {
    open,      // more may come
    hungUp,    // the client sent its last byte; frames before that still count
    violated,  // a size the framing forbids, or one there is no memory for; see `problem()`
    failed,    // the socket failed
  };
  // Reads what the socket holds now, appending up to `maxFrames` complete frames.
  ReadState readFrames(std::vector<ReceivedFrame>& frames, size_t maxFrames);

  // True when the client hung up in the middle of a frame.
  bool partialFrame() const { return sizeRead_ > 0; }
  const std::string& problem() const { return problem_; }

  // Queues `prefix` then `body` for sending, without copying either.
  void queue(std::vector<uint8_t> prefix, std::vector<uint8_t> body);
  // Sends what the socket takes now; false when the socket failed (client gone).
  bool flush();
  size_t pendingOutput() const { return pendingBytes_; }

 private:
  struct Output {
    std::vector<uint8_t> prefix;
    std::vector<uint8_t> body;
    size_t sent = 0;
  };

  UniqueFd socket_;
  uint8_t sizeField_[4] = {};
  size_t sizeRead_ = 0;  // bytes of the current frame's size field, then of the frame
  ReceivedFrame current_;
  size_t currentRead_ = 0;
  std::string problem_;
  std::deque<Output> output_;
  size_t pendingBytes_ = 0;
};

}  // namespace tovanel
