// A binary messenger in memory: messages go straight to the handlers, replies come back.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "codec/method_call.h"
#include "messenger/binary_messenger.h"

namespace tovanel::testing {

class FakeMessenger final : public BinaryMessenger {
 public:
  // Notes "BinaryMessenger setMessageHandler CHANNEL" in the journal.
  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

  bool hasHandler(const std::string& channel) const { return handlers_.count(channel) > 0; }

  // The handler's reply, or nothing without a handler or a reply by the time it returned.
  std::optional<std::vector<uint8_t>> send(const std::string& channel,
                                           const std::vector<uint8_t>& message);

  // The decoded reply to `call`; none, or one that does not decode, fails the test.
  MethodReply call(const std::string& channel, const MethodCall& call);

 private:
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace tovanel::testing
