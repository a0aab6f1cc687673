#include "embedding/reply.h"

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

}  // namespace
}  // namespace tovanel
