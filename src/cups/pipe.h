// Pipes for a child's standard streams.
#pragma once

#include <optional>

#include "base/unique_fd.h"

namespace tovanel {

// Both ends close on exec and lie above the standard streams, so that moving one onto
// standard output or error in a child can never overwrite the other.
struct Pipe {
  UniqueFd readEnd;
  UniqueFd writeEnd;
};

// A new pipe, or nothing with errno set.
std::optional<Pipe> makePipe();

}  // namespace tovanel
