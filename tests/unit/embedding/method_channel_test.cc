#include "embedding/method_channel.h"

#include <gtest/gtest.h>

#include "embedding/standard_method_codec.h"
#include "support/host_fake_messenger.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::FakeMessenger;

// Tests that the handler sees the decoded call, and each kind of answer goes back encoded.
TEST(MethodChannel, EncodesEveryKindOfAnswer) {
  FakeMessenger messenger;
  std::vector<MethodCall> received;
  MethodChannel("c", messenger)
      .setMethodCallHandler([&](const MethodCall& call, ReplyCallback reply) {
        received.push_back(call);
        if (call.method == "ok")
          reply.success(ValueList{1.5});
        else if (call.method == "bad")
          reply.error("BAD", "no good");
        else
          reply.notImplemented();
      });
  EXPECT_EQ(messenger.send("c", encodeMethodCall({"ok", ValueMap{{"k", Uint8List{1, 2}}}})),
            encodeSuccessEnvelope(ValueList{1.5}));
  EXPECT_EQ(messenger.send("c", encodeMethodCall({"bad", Value()})),
            encodeErrorEnvelope({"BAD", "no good", Value()}));
  EXPECT_EQ(messenger.send("c", encodeMethodCall({"other", Value()})), std::vector<uint8_t>{});
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].arguments, Value(ValueMap{{"k", Uint8List{1, 2}}}));
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
