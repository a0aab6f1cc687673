// Byte-level reading and writing for the standard codec. Alignment is always counted
// from the first byte of the message, so a value pads the same wherever it is nested.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// Appends to a byte vector, or only counts the bytes when it has none, so that an
// encoder can size its output exactly before writing it.
class CodecWriter {
 public:
  explicit CodecWriter(std::vector<uint8_t>* out) : out_(out) {}

  void writeByte(uint8_t byte);
  void writeBytes(const void* data, size_t size);
  // Little-endian, whatever the host's byte order.
  void writeUint16(uint16_t value);
  void writeUint32(uint32_t value);
  void writeInt32(int32_t value) { writeUint32(static_cast<uint32_t>(value)); }
  void writeInt64(int64_t value);
  void writeDouble(double value);
  // The size escapes: below 254 one byte; up to 0xffff, 254 and 16 bits; else 255 and 32.
  void writeSize(uint32_t size);
  // Zero bytes up to the next multiple of `alignment` from the start of the message.
  void writeAlignment(size_t alignment);

  size_t position() const { return position_; }

 private:
  std::vector<uint8_t>* out_;
  size_t position_ = 0;
};

// Reads with every length checked against the bytes left. The first violation is kept
// as the reader's error and every later read fails too.
class CodecReader {
 public:
  explicit CodecReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool readByte(uint8_t& byte, std::string_view what = "a byte");
  bool readUint16(uint16_t& value);
  bool readUint32(uint32_t& value);
  bool readInt32(int32_t& value);
  bool readInt64(int64_t& value);
  bool readDouble(double& value);
  bool readSize(uint32_t& size);
  bool readAlignment(size_t alignment);
  // `size` bytes in place, without copying; fails when fewer are left.
  bool readSpan(size_t size, std::span<const uint8_t>& span, std::string_view what);

  size_t position() const { return position_; }
  size_t remaining() const { return bytes_.size() - position_; }
  bool atEnd() const { return position_ == bytes_.size(); }

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  // Records `reason` (with the offset where reading stopped) unless an error is kept.
  bool fail(std::string_view reason) { return fail(reason, position_); }
  bool fail(std::string_view reason, size_t at);

 private:
  bool take(size_t size, const uint8_t*& data, std::string_view what);

  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
  std::string error_;
};

}  // namespace tovanel
