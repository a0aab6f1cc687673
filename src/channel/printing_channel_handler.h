// Dispatch of the calls on "com.tovanel.printing" to the host's operations.
#pragma once

#include "channel/channel_operations.h"
#include "codec/method_call.h"
#include "messenger/reply.h"

namespace tovanel {

inline constexpr const char* kPrintingChannelName = "com.tovanel.printing";

class PrintingChannelHandler {
 public:
  explicit PrintingChannelHandler(ChannelOperations operations);

  // Picks the operation by exact method name, checks the one required argument, fills
  // the defaults and answers `reply` exactly once before returning.
  void handleMethodCall(const MethodCall& call, ReplyCallback reply) const;

 private:
  void printDocument(const Value& arguments, ReplyCallback reply) const;

  ChannelOperations operations_;
};

}  // namespace tovanel
