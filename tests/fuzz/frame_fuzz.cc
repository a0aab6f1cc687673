// The host's frame reader on bytes from any client, arriving in pieces: every complete
// frame comes out exactly as sent, a size the framing forbids is refused with a reason,
// a frame cut short is told apart, and each frame parses or fails within its own bytes.
// The first input byte picks the size of the pieces.
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "messenger/socket_connection.h"
#include "messenger/socket_frames.h"

namespace {

using namespace tovanel;

void check(bool condition) {
  if (!condition)
    std::abort();
}

bool inside(std::span<const uint8_t> part, std::span<const uint8_t> whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// Reads until the connection has nothing more to give now; the last state.
SocketConnection::ReadState readAll(SocketConnection& connection,
                                    std::vector<ReceivedFrame>& frames) {
  for (;;) {
    const size_t before = frames.size();
    // A small batch, so that a batch ending between frames is exercised too.
    const auto state = connection.readFrames(frames, 3);
    if (state != SocketConnection::ReadState::open || frames.size() == before)
      return state;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  const size_t piece = data[0] % 64 + 1;
  const std::span<const uint8_t> input(data + 1, size - 1);
  int ends[2];
  check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
  UniqueFd client(ends[0]);
  SocketConnection connection{UniqueFd(ends[1])};

  std::vector<ReceivedFrame> frames;
  auto state = SocketConnection::ReadState::open;
  for (size_t offset = 0; offset < input.size() && state == SocketConnection::ReadState::open;
       offset += piece) {
    const size_t count = std::min(piece, input.size() - offset);
    check(::send(client.get(), input.data() + offset, count, MSG_NOSIGNAL) ==
          static_cast<ssize_t>(count));
    state = readAll(connection, frames);
  }
  if (state == SocketConnection::ReadState::open) {
    ::shutdown(client.get(), SHUT_WR);
    state = readAll(connection, frames);
  }

  // The frames, with their size fields, are the input's first bytes.
  size_t consumed = 0;
  for (const ReceivedFrame& frame : frames) {
    const std::span<const uint8_t> bytes(frame.bytes.get(), frame.size);
    check(checkFrameSize(frame.size).empty());
    check(consumed + kFrameSizeFieldBytes + frame.size <= input.size());
    uint8_t field[kFrameSizeFieldBytes];
    std::memcpy(field, input.data() + consumed, kFrameSizeFieldBytes);
    check(readFrameSizeField(field) == frame.size);
    check(std::memcmp(bytes.data(), input.data() + consumed + kFrameSizeFieldBytes, frame.size) ==
          0);
    consumed += kFrameSizeFieldBytes + frame.size;

    const auto view = parseFrame(bytes);
    if (!view) {
      check(!view.error.empty());
      continue;
    }
    const std::span<const uint8_t> channel(
        reinterpret_cast<const uint8_t*>(view.value->channel.data()), view.value->channel.size());
    check(inside(view.value->message, bytes) && inside(channel, bytes));
    check(view.value->kind == FrameKind::call || channel.empty());
  }

  const size_t left = input.size() - consumed;
  switch (state) {
    case SocketConnection::ReadState::hungUp:
      check(connection.partialFrame() == (left > 0));
      break;
    case SocketConnection::ReadState::violated: {
      check(left >= kFrameSizeFieldBytes && !connection.problem().empty());
      uint8_t field[kFrameSizeFieldBytes];
      std::memcpy(field, input.data() + consumed, kFrameSizeFieldBytes);
      check(!checkFrameSize(readFrameSizeField(field)).empty());
      break;
    }
    default:
      check(false);  // a socket pair neither fails nor stays open after the shutdown
  }
  return 0;
}
