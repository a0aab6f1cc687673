// Recording the replies a call receives, and any misuse of a reply callback.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <vector>

#include "channel/printing_channel_handler.h"
#include "codec/standard_method_codec.h"
#include "messenger/reply.h"

namespace tovanel::testing {

// Collects every answer given through the callbacks it hands out.
class ReplyRecorder {
 public:
  ReplyCallback callback() {
    return ReplyCallback([this](MethodReply reply) { replies.push_back(std::move(reply)); });
  }
  std::vector<MethodReply> replies;
};

// While alive, every reply-callback misuse in the process is recorded here.
class MisuseRecorder {
 public:
  MisuseRecorder() {
    previous_ = setReplyMisuseHandler(
        [this](ReplyMisuse misuse, const MethodReply&) { misuses.push_back(misuse); });
  }
  ~MisuseRecorder() { setReplyMisuseHandler(previous_); }
  MisuseRecorder(const MisuseRecorder&) = delete;
  MisuseRecorder& operator=(const MisuseRecorder&) = delete;

  std::vector<ReplyMisuse> misuses;

 private:
  ReplyMisuseHandler previous_;
};

inline MethodReply successReply(Value value) {
  return MethodReply(std::move(value));
}
inline MethodReply errorReply(std::string code, std::string message) {
  return MethodReply(FlutterError{std::move(code), std::move(message), Value()});
}
inline MethodReply notImplementedReply() {
  return MethodReply(FlutterMethodNotImplemented{});
}

// Arguments and replies that many tests share.
inline Value named(const std::string& printerName) {
  return ValueMap{{"printerName", printerName}};
}
inline MethodReply printed(const std::string& jobName = "Velmar Job") {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}
inline const MethodReply kOnline =
    successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});
inline const MethodReply kOffline =
    successReply(ValueMap{{"status", "offline"}, {"message", "Printer not found"}});
inline const MethodReply kPrintFailed =
    errorReply("PRINT_FAILED", "Print operation failed to start");

// The one reply `handler` gives the call; none, two, or a misused callback fails the test.
inline MethodReply handleCall(const PrintingChannelHandler& handler, const std::string& method,
                              Value arguments = Value()) {
  MisuseRecorder misuses;
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{method, std::move(arguments)}, recorder.callback());
  EXPECT_EQ(recorder.replies.size(), 1u) << method;
  EXPECT_TRUE(misuses.misuses.empty()) << method;
  return recorder.replies.empty() ? errorReply("NO_REPLY", method) : recorder.replies.front();
}

// The reply a reply message carries (empty: not implemented); nothing if it does not decode.
inline std::optional<MethodReply> decodeReply(std::span<const uint8_t> message) {
  if (message.empty())
    return notImplementedReply();
  const auto envelope = decodeEnvelope(message);
  if (!envelope)
    return std::nullopt;
  if (const auto* value = std::get_if<Value>(&*envelope.value))
    return MethodReply(*value);
  const auto& error = std::get<ErrorEnvelope>(*envelope.value);
  return MethodReply(FlutterError{error.code, error.message.value_or(""), error.details});
}

}  // namespace tovanel::testing

namespace tovanel {
// Lets gtest print replies and values readably.
inline void PrintTo(const MethodReply& reply, std::ostream* out) {
  *out << describe(reply);
}
inline void PrintTo(const Value& value, std::ostream* out) {
  *out << describe(value);
}
}  // namespace tovanel
