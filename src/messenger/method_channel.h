// A named channel of method calls over a binary messenger, with the standard method codec.
#pragma once

#include <functional>
#include <string>

#include "codec/method_call.h"
#include "messenger/binary_messenger.h"
#include "messenger/reply.h"

namespace tovanel {

using MethodCallHandler = std::function<void(const MethodCall& call, ReplyCallback reply)>;

class MethodChannel {
 public:
  // `messenger` must outlive the handlers installed through this channel.
  MethodChannel(std::string name, BinaryMessenger& messenger);

  // Installs `handler` on the messenger: it receives every decoded call with a callback
  // that encodes its answer (not implemented: an empty reply). The messenger keeps the
  // handler; the channel object itself may go. A call that does not decode is answered
  // with a "MALFORMED_CALL" error saying why. An empty handler removes it.
  void setMethodCallHandler(MethodCallHandler handler);

  const std::string& name() const { return name_; }

 private:
  std::string name_;
  BinaryMessenger& messenger_;
};

}  // namespace tovanel
