// Framing of the channel socket, a Unix stream socket between clients (the interface,
// printctl, tests) and the host. Every frame, in both directions:
//
//   size   u32 little-endian   the number of bytes after this field: 5 to 64 MiB
//   kind   u8                  1 call, 2 reply, 3 failure
//   id     u32 little-endian   chosen by the client for a call; its reply carries it back
//   then, by kind:
//   1 call     client to host   u16 LE size of the channel name, the name (UTF-8), then
//                               the message: a method call of the standard method codec
//   2 reply    host to client   the reply: a standard-codec envelope, or nothing at all,
//                               which means "not implemented" or "no handler", as in Flutter
//   3 failure  host to client   a UTF-8 reason; the host closes the connection after it.
//                               The id is that of the frame at fault, or 0.
//
// A client may send calls without waiting for replies; the host answers every call, in
// the order in which the calls arrived. Bytes that break these rules, or a size over the
// limit, get a failure frame and the connection is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decoded.h"

namespace tovanel {

inline constexpr uint32_t kMaxFrameSize = 64u * 1024 * 1024;
inline constexpr size_t kFrameSizeFieldBytes = 4;
inline constexpr size_t kFrameHeadBytes = 5;  // kind and id

enum class FrameKind : uint8_t { call = 1, reply = 2, failure = 3 };

// A frame after its size field; the views point into the frame's bytes.
struct FrameView {
  FrameKind kind;
  uint32_t id;
  std::string_view channel;          // calls only
  std::span<const uint8_t> message;  // the call, the reply, or the failure's reason
};

// The bytes that precede `messageSize` bytes of message in a frame: size field, kind,
// id and, for a call, the channel name. Needs a frame within kMaxFrameSize.
std::vector<uint8_t> framePrefix(FrameKind kind, uint32_t id, size_t messageSize,
                                 std::string_view channel = {});

// The size of a frame in frame-after-this-field terms: kFrameHeadBytes + the rest.
size_t frameSize(FrameKind kind, size_t messageSize, std::string_view channel = {});

uint32_t readFrameSizeField(const uint8_t (&field)[kFrameSizeFieldBytes]);

// Checks a frame size read from the wire; empty when it is acceptable.
std::string checkFrameSize(uint32_t size);

// Splits the bytes after the size field into their parts.
Decoded<FrameView> parseFrame(std::span<const uint8_t> frame);

}  // namespace tovanel
