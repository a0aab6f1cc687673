// Recording the replies a call receives, and any misuse of a reply callback.
#pragma once

#include <vector>

#include "embedding/reply.h"

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

// Shorthands for expected replies.
inline MethodReply successReply(Value value) {
  return MethodReply(std::move(value));
}
inline MethodReply errorReply(std::string code, std::string message) {
  return MethodReply(FlutterError{std::move(code), std::move(message), Value()});
}
inline MethodReply notImplementedReply() {
  return MethodReply(FlutterMethodNotImplemented{});
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
