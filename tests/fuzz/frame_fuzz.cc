// The frame reader on a client's bytes, sent in pieces sized by the first byte: frames come out
// as sent, forbidden sizes and cut frames are told apart, and frames parse or fail in their bytes.
#include <sys/socket.h>

#include "messenger/socket_connection.h"
#include "messenger/socket_frames.h"

using namespace tovanel;
using State = SocketConnection::ReadState;

static void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

static bool inside(auto part, std::span<const uint8_t> in) {
  const auto* begin = reinterpret_cast<const uint8_t*>(part.data());
  return part.empty() || (begin >= in.data() && begin + part.size() <= in.data() + in.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t piece = size ? data[0] % 64 + 1 : 1;
  const auto input = std::span<const uint8_t>(data, size).subspan(size ? 1 : 0);
  int ends[2];
  check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
  UniqueFd client(ends[0]);
  SocketConnection connection{UniqueFd(ends[1])};
  std::vector<ReceivedFrame> frames;
  State state = State::open;
  for (size_t at = 0; state == State::open; at += piece) {
    check(at < input.size() + piece);  // a socket pair never stays open after the shutdown
    const size_t count = at < input.size() ? std::min(piece, input.size() - at) : 0;
    check(count ? ::send(client.get(), &input[at], count, MSG_NOSIGNAL) == ssize_t(count)
                : ::shutdown(client.get(), SHUT_WR) == 0);
    for (size_t before = ~size_t{0}; state == State::open && frames.size() != before;) {
      before = frames.size();
      state = connection.readFrames(frames, 3);  // small batches: one also ends between frames
    }
  }

  // The frames, with their size fields, are the input's first bytes.
  size_t consumed = 0;
  const auto sizeFieldAt = [&input](size_t at) {
    return readFrameSizeField(reinterpret_cast<const uint8_t(&)[kFrameSizeFieldBytes]>(input[at]));
  };
  for (const ReceivedFrame& frame : frames) {
    const std::span<const uint8_t> bytes(frame.bytes.get(), frame.size);
    check(checkFrameSize(frame.size).empty() &&
          consumed + kFrameSizeFieldBytes + frame.size <= input.size() &&
          sizeFieldAt(consumed) == frame.size &&
          std::equal(bytes.begin(), bytes.end(), &input[consumed + kFrameSizeFieldBytes]));
    consumed += kFrameSizeFieldBytes + frame.size;
    const auto view = parseFrame(bytes);
    const FrameView parts = view ? *view.value : FrameView{};
    check(view ? inside(parts.message, bytes) && inside(parts.channel, bytes) &&
                     (parts.kind == FrameKind::call || parts.channel.empty())
               : !view.error.empty());
  }
  const size_t left = input.size() - consumed;
  check(state == State::hungUp
            ? connection.partialFrame() == (left > 0)
            : state == State::violated && left >= kFrameSizeFieldBytes &&
                  !connection.problem().empty() && !checkFrameSize(sizeFieldAt(consumed)).empty());
  return 0;
}
