#include "cups/pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tovanel {
namespace {

// `descriptor` moved above 2 when it is one of the standard streams' numbers (possible
// when the host runs with a standard stream closed).
UniqueFd aboveStandardStreams(int descriptor) {
  if (descriptor > 2)
    return UniqueFd(descriptor);
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  const int savedError = errno;
  close(descriptor);
  errno = savedError;
  return UniqueFd(moved);
}

}  // namespace

std::optional<Pipe> makePipe() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return std::nullopt;
  Pipe pipe{aboveStandardStreams(ends[0]), aboveStandardStreams(ends[1])};
  if (!pipe.readEnd.valid() || !pipe.writeEnd.valid())
    return std::nullopt;
  return pipe;
}

}  // namespace tovanel
