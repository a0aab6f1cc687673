// Replies that answer exactly once, and method channels over an in-memory messenger.
#include "messenger/method_channel.h"

#include <gtest/gtest.h>

#include "codec/standard_method_codec.h"
#include "messenger/reply.h"
#include "support/host_fake_messenger.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::FakeMessenger;
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
  ASSERT_EQ(recorder.replies.size(), 1u);
  EXPECT_EQ(recorder.replies[0], testing::successReply(true));
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::answeredTwice});
}

// Tests that a callback dropped unanswered is reported and still answers the caller.
TEST(ReplyCallback, DroppedCallbackIsReportedAndAnswersWithAnError) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  { auto reply = recorder.callback(); }
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::droppedUnanswered});
  ASSERT_EQ(recorder.replies.size(), 1u);
  EXPECT_EQ(std::get<FlutterError>(recorder.replies[0]).code, "INTERNAL_ERROR");
}

// Tests that moving a callback hands the one answer on rather than duplicating it.
TEST(ReplyCallback, MovedCallbackAnswersOnce) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  {
    auto first = recorder.callback();
    auto second = std::move(first);
    auto third = recorder.callback();
    third = std::move(second);  // the replaced, unanswered callback reports its drop
    third.notImplemented();
  }
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::droppedUnanswered});
  ASSERT_EQ(recorder.replies.size(), 2u);
  EXPECT_EQ(recorder.replies[1], testing::notImplementedReply());
}

// Tests that bytes which are no method call get an error and never reach the handler.
TEST(MethodChannel, MalformedCallsGetAnError) {
  FakeMessenger messenger;
  bool called = false;
  MethodChannel("c", messenger).setMethodCallHandler([&](const MethodCall&, ReplyCallback reply) {
    called = true;
    reply.success(true);
  });
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{}, std::vector<uint8_t>{0x03, 1, 0, 0, 0, 0},
        std::vector<uint8_t>{0x07}}) {
    const auto reply = messenger.send("c", bytes);
    ASSERT_TRUE(reply);
    const auto envelope = decodeEnvelope(*reply);
    ASSERT_TRUE(envelope);
    const auto* error = std::get_if<ErrorEnvelope>(&*envelope.value);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, kMalformedCallCode);
    EXPECT_TRUE(error->message->starts_with("The call could not be decoded: ")) << *error->message;
  }
  EXPECT_FALSE(called);
}

// Tests that a dropped callback still answers, and an empty handler removes the handler.
TEST(MethodChannel, DroppedCallbackAnswersAndEmptyHandlerRemoves) {
  testing::MisuseRecorder misuses;
  FakeMessenger messenger;
  MethodChannel channel("c", messenger);
  channel.setMethodCallHandler([](const MethodCall&, ReplyCallback) {});
  EXPECT_EQ(messenger.call("c", {"m", Value()}),
            testing::errorReply("INTERNAL_ERROR", "The host dropped this call without an answer"));
  EXPECT_EQ(misuses.misuses, std::vector{ReplyMisuse::droppedUnanswered});
  channel.setMethodCallHandler(nullptr);
  EXPECT_FALSE(messenger.hasHandler("c"));
}

}  // namespace
}  // namespace tovanel
