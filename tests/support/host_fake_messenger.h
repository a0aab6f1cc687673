// A binary messenger held in memory: tests hand messages to the installed handlers and
// get the reply back at once.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "embedding/binary_messenger.h"
#include "embedding/method_call.h"

namespace tovanel::testing {

class FakeMessenger final : public BinaryMessenger {
 public:
  // Notes "BinaryMessenger setMessageHandler CHANNEL" in the journal.
  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

  bool hasHandler(const std::string& channel) const { return handlers_.count(channel) > 0; }

  // The reply of the handler of `channel` to `message`, or nothing when there is no
  // handler or it had not replied by the time it returned.
  std::optional<std::vector<uint8_t>> send(const std::string& channel,
                                           const std::vector<uint8_t>& message);

  // Sends a method call and decodes the reply; no reply, or one that does not decode,
  // fails the test.
  MethodReply call(const std::string& channel, const MethodCall& call);

 private:
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace tovanel::testing
