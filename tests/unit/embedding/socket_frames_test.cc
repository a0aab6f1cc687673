#include "embedding/socket_frames.h"

#include <gtest/gtest.h>

namespace tovanel {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int value : values)
    out.push_back(static_cast<uint8_t>(value));
  return out;
}

// Tests the prefix of each kind of frame byte for byte: size, kind, id, channel name.
TEST(SocketFrames, PrefixesMatchTheFraming) {
  EXPECT_EQ(framePrefix(FrameKind::call, 7, 3, "ab"),
            bytes({12, 0, 0, 0, 1, 7, 0, 0, 0, 2, 0, 'a', 'b'}));
  EXPECT_EQ(framePrefix(FrameKind::reply, 0x01020304, 0), bytes({5, 0, 0, 0, 2, 4, 3, 2, 1}));
  EXPECT_EQ(framePrefix(FrameKind::failure, 1, 256), bytes({5, 1, 0, 0, 3, 1, 0, 0, 0}));
}

// Tests that frame sizes outside 5 bytes .. 64 MiB are refused as soon as they are read.
TEST(SocketFrames, SizeLimits) {
  for (const auto& [size, allowed] : {std::pair{0u, false},
                                      {4u, false},
                                      {5u, true},
                                      {kMaxFrameSize, true},
                                      {kMaxFrameSize + 1, false}}) {
    EXPECT_EQ(checkFrameSize(size).empty(), allowed) << size;
  }
}

// Tests parsing of well-formed frames and the refusal of every malformed part.
TEST(SocketFrames, ParsesFramesAndRejectsBrokenOnes) {
  const auto callBytes = bytes({1, 9, 0, 0, 0, 2, 0, 'a', 'b', 0x07, 0x00});
  const auto call = parseFrame(callBytes);  // views into callBytes
  ASSERT_TRUE(call) << call.error;
  EXPECT_EQ(call.value->kind, FrameKind::call);
  EXPECT_EQ(call.value->id, 9u);
  EXPECT_EQ(call.value->channel, "ab");
  EXPECT_EQ(std::vector<uint8_t>(call.value->message.begin(), call.value->message.end()),
            bytes({0x07, 0x00}));

  const auto replyBytes = bytes({2, 1, 0, 0, 0});
  const auto reply = parseFrame(replyBytes);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply.value->kind, FrameKind::reply);
  EXPECT_TRUE(reply.value->message.empty());

  const struct {
    const char* name;
    std::vector<uint8_t> frame;
    const char* reason;
  } broken[] = {
      {"too short", bytes({1, 0, 0}), "too short"},
      {"unknown kind", bytes({9, 0, 0, 0, 0}), "unknown frame kind 9"},
      {"no channel size", bytes({1, 0, 0, 0, 0, 3}), "ends before its channel name"},
      {"channel past the end", bytes({1, 0, 0, 0, 0, 5, 0, 'a'}), "runs past its end"},
      {"channel not UTF-8", bytes({1, 0, 0, 0, 0, 1, 0, 0xff}), "not valid UTF-8"},
  };
  for (const auto& c : broken) {
    const auto parsed = parseFrame(c.frame);
    EXPECT_FALSE(parsed) << c.name;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << c.name << ": " << parsed.error;
  }
}

}  // namespace
}  // namespace tovanel
