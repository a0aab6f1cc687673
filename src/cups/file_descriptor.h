// Owned file descriptors and pipes: closed exactly once, never copied.
#pragma once

#include <optional>
#include <utility>

namespace tovanel {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(FileDescriptor&& other) noexcept
      : descriptor_(std::exchange(other.descriptor_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  void reset();
  // Gives up ownership: the caller closes what this returns.
  int release() { return std::exchange(descriptor_, -1); }

 private:
  int descriptor_ = -1;
};

// Both ends close on exec and lie above the standard streams, so that moving one onto
// standard output or error in a child can never overwrite the other.
struct Pipe {
  FileDescriptor readEnd;
  FileDescriptor writeEnd;
};

// A new pipe, or nothing with errno set.
std::optional<Pipe> makePipe();

}  // namespace tovanel
