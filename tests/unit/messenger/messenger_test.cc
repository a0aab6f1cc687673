// Replies answered exactly once, and a method channel's answers; its socket is tested end to end.
#include "messenger/method_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/replies.h"

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

// Tests that calls reach the handler until it is removed, and bytes that are no call get an error.
TEST(MethodChannel, AnswersCallsAndBytesThatAreNoCall) {
  OneChannelMessenger messenger;
  MethodChannel channel("c", messenger);
  channel.setMethodCallHandler([](const MethodCall& call, ReplyCallback reply) {
    reply.success(ValueList{call.method, call.arguments});
  });
  const std::string malformed = R"(error MALFORMED_CALL "The call could not be decoded: )";
  const std::pair<std::vector<uint8_t>, std::string> cases[] = {
      {{}, malformed}, {{7}, malformed}, {encodeMethodCall({"m", 2}), R"(success ["m", 2])"}};
  for (const auto& [call, expected] : cases) {
    std::vector<uint8_t> reply;
    messenger.handler(call, [&](std::vector<uint8_t> bytes) { reply = bytes; });
    EXPECT_THAT(describe(testing::decodeReply(reply).value()), ::testing::StartsWith(expected));
  }
  channel.setMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger.handler);
}

}  // namespace
}  // namespace tovanel
