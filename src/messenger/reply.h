// The reply callback that comes with every method call.
#pragma once

#include <functional>

#include "codec/method_call.h"

namespace tovanel {

// How a reply callback was misused. Both are programming errors of the host.
enum class ReplyMisuse {
  answeredTwice,      // a second answer; it is dropped
  droppedUnanswered,  // destroyed without an answer; the caller gets an internal error
};

// Receives every misuse in the process. The default prints one line to standard error;
// tests install their own to detect misuse. Returns the handler it replaces.
using ReplyMisuseHandler = std::function<void(ReplyMisuse, const MethodReply& attempted)>;
ReplyMisuseHandler setReplyMisuseHandler(ReplyMisuseHandler handler);

// Answers one call exactly once. Move-only: a copy would allow two answers.
class ReplyCallback {
 public:
  using Sink = std::function<void(MethodReply)>;

  explicit ReplyCallback(Sink sink);
  ReplyCallback(ReplyCallback&& other) noexcept;
  ReplyCallback& operator=(ReplyCallback&& other) noexcept;
  ReplyCallback(const ReplyCallback&) = delete;
  ReplyCallback& operator=(const ReplyCallback&) = delete;
  // A callback that was never answered reports the misuse, then answers the caller
  // with an error so that no caller waits forever.
  ~ReplyCallback();

  void operator()(MethodReply reply);
  void success(Value value) { (*this)(MethodReply(std::move(value))); }
  void error(std::string code, std::string message) {
    (*this)(MethodReply(FlutterError{std::move(code), std::move(message), Value()}));
  }
  void notImplemented() { (*this)(MethodReply(FlutterMethodNotImplemented{})); }

 private:
  void release();

  Sink sink_;
  bool answered_ = false;
};

}  // namespace tovanel
