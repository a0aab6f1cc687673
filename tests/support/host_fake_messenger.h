// A binary messenger held in memory: tests deliver messages to the installed handlers
// by hand and get the reply back at once.
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

  // Hands `message` to the handler of `channel`: its reply, or nothing when there is no
  // handler or it had not replied by the time it returned.
  std::optional<std::vector<uint8_t>> send(const std::string& channel,
                                           const std::vector<uint8_t>& message);

  // Sends a method call on `channel` and decodes the reply (empty: not implemented).
  // Fails the test when there is no reply or it does not decode.
  MethodReply call(const std::string& channel, const MethodCall& call);

 private:
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace tovanel::testing
