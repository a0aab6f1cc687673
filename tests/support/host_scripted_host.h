// A printing host in the test process whose socket messenger answers with set replies.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codec/method_call.h"

namespace tovanel::testing {

class ScriptedHost {
 public:
  // Serves a socket in a fresh temporary folder; other methods are not implemented.
  explicit ScriptedHost(std::map<std::string, MethodReply> replies);
  ~ScriptedHost();
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  const std::string& socketPath() const;
  // Every call received so far, in order.
  std::vector<MethodCall> calls() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovanel::testing
