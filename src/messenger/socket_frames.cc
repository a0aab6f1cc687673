#include "messenger/socket_frames.h"

#include "text/text.h"

namespace tovanel {
namespace {

void appendUint32(std::vector<uint8_t>& out, uint32_t value) {
  for (size_t i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t uint32At(const uint8_t* bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return value;
}

}  // namespace

size_t frameSize(FrameKind kind, size_t messageSize, std::string_view channel) {
  const size_t channelBytes = kind == FrameKind::call ? 2 + channel.size() : 0;
  return kFrameHeadBytes + channelBytes + messageSize;
}

std::vector<uint8_t> framePrefix(FrameKind kind, uint32_t id, size_t messageSize,
                                 std::string_view channel) {
  std::vector<uint8_t> prefix;
  prefix.reserve(kFrameSizeFieldBytes + kFrameHeadBytes + 2 + channel.size());
  appendUint32(prefix, static_cast<uint32_t>(frameSize(kind, messageSize, channel)));
  prefix.push_back(static_cast<uint8_t>(kind));
  appendUint32(prefix, id);
  if (kind == FrameKind::call) {
    prefix.push_back(static_cast<uint8_t>(channel.size()));
    prefix.push_back(static_cast<uint8_t>(channel.size() >> 8));
    prefix.insert(prefix.end(), channel.begin(), channel.end());
  }
  return prefix;
}

uint32_t readFrameSizeField(const uint8_t (&field)[kFrameSizeFieldBytes]) {
  return uint32At(field);
}

std::string checkFrameSize(uint32_t size) {
  if (size > kMaxFrameSize) {
    return "a frame of " + std::to_string(size) + " bytes is over the limit of " +
           std::to_string(kMaxFrameSize) + " bytes";
  }
  if (size < kFrameHeadBytes)
    return "a frame of " + std::to_string(size) + " bytes is too short for its kind and id";
  return {};
}

Decoded<FrameView> parseFrame(std::span<const uint8_t> frame) {
  if (frame.size() < kFrameHeadBytes)
    return Decoded<FrameView>::failure("a frame is too short for its kind and id");
  FrameView view{};
  const uint8_t kind = frame[0];
  view.id = uint32At(frame.data() + 1);
  auto rest = frame.subspan(kFrameHeadBytes);
  switch (kind) {
    case static_cast<uint8_t>(FrameKind::call): {
      if (rest.size() < 2)
        return Decoded<FrameView>::failure("a call frame ends before its channel name");
      const size_t nameSize = rest[0] | rest[1] << 8;
      if (nameSize > rest.size() - 2) {
        return Decoded<FrameView>::failure("a call frame's channel name of " +
                                           std::to_string(nameSize) + " bytes runs past its end");
      }
      view.channel = {reinterpret_cast<const char*>(rest.data() + 2), nameSize};
      if (!isValidUtf8(view.channel))
        return Decoded<FrameView>::failure("a call frame's channel name is not valid UTF-8");
      view.message = rest.subspan(2 + nameSize);
      break;
    }
    case static_cast<uint8_t>(FrameKind::reply):
    case static_cast<uint8_t>(FrameKind::failure):
      view.message = rest;
      break;
    default:
      return Decoded<FrameView>::failure("unknown frame kind " + std::to_string(kind));
  }
  view.kind = static_cast<FrameKind>(kind);
  return Decoded<FrameView>::success(view);
}

}  // namespace tovanel
