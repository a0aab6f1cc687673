// Replies that answer exactly once, and what a method channel answers for bytes that are no
// call. The socket around them is tested end to end against the real host.
#include "messenger/method_channel.h"

#include <gtest/gtest.h>

#include "support/replies.h"

namespace tovanel {
namespace {

using testing::MisuseRecorder;
using testing::ReplyRecorder;

// Tests that a second answer is reported and never reaches the caller.
TEST(ReplyCallback, SecondAnswerIsReportedAndDropped) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  {
    auto reply = recorder.callback();
    reply.success(true);
    reply.error("X", "second");
  }
  EXPECT_EQ(recorder.replies, std::vector{testing::successReply(true)});
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::answeredTwice});
}

// Tests that a callback dropped unanswered is reported and still answers the caller.
TEST(ReplyCallback, DroppedCallbackIsReportedAndAnswersWithAnError) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  { auto reply = recorder.callback(); }
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::droppedUnanswered});
  EXPECT_EQ(recorder.replies,
            std::vector{testing::errorReply("INTERNAL_ERROR",
                                            "The host dropped this call without an answer")});
}

// Tests that a moved callback passes its one answer on, and a replaced unanswered one reports it.
TEST(ReplyCallback, MovedCallbackAnswersOnce) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  {
    auto first = recorder.callback();
    auto second = std::move(first);
    auto third = recorder.callback();
    third = std::move(second);
    third.notImplemented();
  }
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::droppedUnanswered});
  ASSERT_EQ(recorder.replies.size(), 2u);
  EXPECT_EQ(recorder.replies[1], testing::notImplementedReply());
}

// Holds the one handler that a channel installs.
class OneChannelMessenger final : public BinaryMessenger {
 public:
  void setMessageHandler(const std::string&, BinaryMessageHandler handler) override {
    this->handler = std::move(handler);
  }
  BinaryMessageHandler handler;
};

// Tests that bytes which are no call get MALFORMED_CALL saying why, and never reach the handler.
TEST(MethodChannel, MalformedCallsGetTheirOwnErrorCode) {
  OneChannelMessenger messenger;
  MethodChannel("c", messenger).setMethodCallHandler([](const MethodCall&, ReplyCallback) {
    ADD_FAILURE() << "a malformed call reached the handler";
  });
  for (const std::vector<uint8_t>& call : {std::vector<uint8_t>{}, {0x03, 1, 0, 0, 0, 0}, {7}}) {
    std::optional<MethodReply> reply;
    messenger.handler(call,
                      [&](std::vector<uint8_t> bytes) { reply = testing::decodeReply(bytes); });
    ASSERT_TRUE(reply && std::holds_alternative<FlutterError>(*reply));
    EXPECT_EQ(std::get<FlutterError>(*reply).code, "MALFORMED_CALL");
    EXPECT_TRUE(
        std::get<FlutterError>(*reply).message.starts_with("The call could not be decoded: "));
  }
}

// Tests that calls reach the handler decoded, answers go back encoded, an empty handler removes it.
TEST(MethodChannel, CallsReachTheHandlerUntilItIsRemoved) {
  OneChannelMessenger messenger;
  MethodChannel channel("c", messenger);
  channel.setMethodCallHandler([](const MethodCall& call, ReplyCallback reply) {
    reply.success(ValueList{call.method, call.arguments});
  });
  std::vector<uint8_t> reply;
  messenger.handler(encodeMethodCall({"m", 2}), [&](std::vector<uint8_t> bytes) { reply = bytes; });
  EXPECT_EQ(testing::decodeReply(reply), testing::successReply(ValueList{"m", 2}));
  channel.setMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger.handler);
}

}  // namespace
}  // namespace tovanel
