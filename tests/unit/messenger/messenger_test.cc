// Replies answered exactly once, and a method channel's answers; its socket is tested end to end.
#include <gtest/gtest.h>

#include "messenger/method_channel.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

// Tests that a callback, moved or not, answers once, a drop with an error, misuse reported.
TEST(ReplyCallback, AnswersTheCallerExactlyOnce) {
  testing::MisuseRecorder misuses;
  testing::ReplyRecorder recorder;
  {
    auto twice = recorder.callback();
    twice.success(true);
    twice.error("X", "second");
    auto first = recorder.callback();
    auto moved = std::move(first);
    auto replaced = recorder.callback();
    replaced = std::move(moved);  // drops the callback it held
    replaced.notImplemented();
    auto dropped = recorder.callback();
  }
  constexpr auto kDropped = ReplyMisuse::droppedUnanswered;
  EXPECT_EQ(misuses.misuses, (std::vector{ReplyMisuse::answeredTwice, kDropped, kDropped}));
  const MethodReply drop =
      testing::errorReply("INTERNAL_ERROR", "The host dropped this call without an answer");
  EXPECT_EQ(recorder.replies,
            (std::vector{testing::successReply(true), drop, testing::notImplementedReply(), drop}));
}

// Holds the one handler that a channel installs.
struct OneChannelMessenger final : BinaryMessenger {
  void setMessageHandler(const std::string&, BinaryMessageHandler handler) override {
    this->handler = std::move(handler);
  }
  BinaryMessageHandler handler;
};

MethodReply malformed(const std::string& reason) {
  return testing::errorReply("MALFORMED_CALL",
                             "The call could not be decoded: truncated: " + reason);
}

// Tests that calls reach the handler until it is removed, and bytes that are no call get an error.
TEST(MethodChannel, AnswersCallsAndBytesThatAreNoCall) {
  OneChannelMessenger messenger;
  MethodChannel channel("c", messenger);
  channel.setMethodCallHandler([](const MethodCall& call, ReplyCallback reply) {
    reply.success(ValueList{call.method, call.arguments});
  });
  const testing::Row<std::vector<uint8_t>, MethodReply> rows[] = {
      {.name = "no bytes", .expect = malformed("a type tag needs 1 byte, 0 left (at byte 0)")},
      {.name = "a tag alone",
       .in = {7},
       .expect = malformed("a size needs 1 byte, 0 left (at byte 1)")},
      {.name = "a call", .in = encodeMethodCall({"m", 2}), .expect = ValueList{"m", 2}}};
  testing::expectRows(rows, [&messenger](const std::vector<uint8_t>& call) {
    std::vector<uint8_t> reply;
    messenger.handler(call, [&](std::vector<uint8_t> bytes) { reply = bytes; });
    return testing::decodeReply(reply);
  });
  channel.setMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger.handler);
}

}  // namespace
}  // namespace tovanel
