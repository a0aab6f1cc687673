// One call to the printing host, and the exit statuses that printctl gives its outcome.
#pragma once

#include <optional>
#include <string>

#include "codec/standard_method_codec.h"
#include "codec/value.h"

namespace tovanel::printctl {

enum ExitStatus {
  kSucceeded = 0,
  kFailed = 1,          // an error reply, or JSON, bytes or a file that cannot be used
  kNotImplemented = 2,  // the host does not offer the method
  kNoHost = 3,          // the host cannot be reached or refused the connection
  kWrongUse = 64,       // an unknown verb or option, a missing or wrong argument (EX_USAGE)
};

struct HostAddress {
  std::string socketPath;
  bool given = false;  // --socket was used
};

// The outcome of a call: the envelope, not implemented, or a failure already reported
// on standard error with the exit status to end with.
struct HostAnswer {
  std::optional<Envelope> envelope;
  bool notImplemented = false;
  int failureStatus = kSucceeded;
};

// Sends `method` with `arguments` on "com.tovanel.printing" and waits for the reply.
HostAnswer callHost(const HostAddress& host, const std::string& method, const Value& arguments);

}  // namespace tovanel::printctl
