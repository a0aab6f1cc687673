#include "cups/file_descriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tovanel {
namespace {

// `descriptor` moved above 2 when it is one of the standard streams' numbers (possible
// when the host runs with a standard stream closed).
FileDescriptor aboveStandardStreams(int descriptor) {
  if (descriptor > 2)
    return FileDescriptor(descriptor);
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  const int savedError = errno;
  close(descriptor);
  errno = savedError;
  return FileDescriptor(moved);
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

void FileDescriptor::reset() {
  // No retry on EINTR: on Linux the descriptor is gone whatever close returns.
  if (descriptor_ >= 0)
    close(descriptor_);
  descriptor_ = -1;
}

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
