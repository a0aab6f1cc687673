#include "messenger/reply.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "messenger/error_codes.h"

namespace tovanel {
namespace {

void printMisuse(ReplyMisuse misuse, const MethodReply& attempted) {
  const char* what = misuse == ReplyMisuse::answeredTwice ? "answered twice; dropped "
                                                          : "dropped without an answer";
  std::fprintf(stderr, "printing_host: a method call was %s%s\n", what,
               misuse == ReplyMisuse::answeredTwice ? describe(attempted).c_str() : "");
}

std::mutex handlerMutex;
ReplyMisuseHandler& misuseHandler() {
  static ReplyMisuseHandler handler = printMisuse;
  return handler;
}

void reportMisuse(ReplyMisuse misuse, const MethodReply& attempted) {
  ReplyMisuseHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = misuseHandler();
  }
  if (handler)
    handler(misuse, attempted);
}

}  // namespace

ReplyMisuseHandler setReplyMisuseHandler(ReplyMisuseHandler handler) {
  std::lock_guard lock(handlerMutex);
  return std::exchange(misuseHandler(), handler ? std::move(handler) : printMisuse);
}

ReplyCallback::ReplyCallback(Sink sink) : sink_(std::move(sink)) {}

ReplyCallback::ReplyCallback(ReplyCallback&& other) noexcept
    : sink_(std::move(other.sink_)), answered_(std::exchange(other.answered_, true)) {}

ReplyCallback& ReplyCallback::operator=(ReplyCallback&& other) noexcept {
  if (this != &other) {
    release();
    sink_ = std::move(other.sink_);
    answered_ = std::exchange(other.answered_, true);
  }
  return *this;
}

ReplyCallback::~ReplyCallback() {
  release();
}

void ReplyCallback::release() {
  if (answered_)
    return;
  answered_ = true;
  const MethodReply internal = FlutterError{
      error_codes::kInternalError, "The host dropped this call without an answer", Value()};
  reportMisuse(ReplyMisuse::droppedUnanswered, internal);
  if (sink_)
    sink_(internal);
}

void ReplyCallback::operator()(MethodReply reply) {
  if (answered_) {
    reportMisuse(ReplyMisuse::answeredTwice, reply);
    return;
  }
  answered_ = true;
  if (sink_)
    sink_(std::move(reply));
}

}  // namespace tovanel
