// Byte-level reading and writing for the standard codec. Alignment is always counted
// from the first byte of the message, so a value pads the same wherever it is nested.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// Writes a message in one pass. Short writes are plain stores into a buffer that this
// thread keeps from message to message; a long run of bytes (typed data) is only noted.
// finish() then sizes the output once and copies into it the short bytes and, straight
// from where they are, the long runs: large typed data is copied once, and a message of
// many small values costs no growing or measuring. The runs must stay in place until
// then. Alignment counts from the start of the message.
class CodecWriter {
 public:
  // The message reaches `out` when finish() is called.
  explicit CodecWriter(std::vector<uint8_t>& out);
  ~CodecWriter();
  CodecWriter(const CodecWriter&) = delete;
  CodecWriter& operator=(const CodecWriter&) = delete;

  void writeByte(uint8_t byte) {
    *room(1) = byte;
    ++cursor_;
  }
  void writeBytes(const void* data, size_t size) {
    if (size > kShortValueBytes)
      return noteLongRun(data, size);
    if (size == 0)  // an empty list's data may be null, which memcpy must not see
      return;
    std::memcpy(room(size), data, size);
    cursor_ += size;
  }
  // Little-endian, whatever the host's byte order.
  void writeUint16(uint16_t value) { store(value); }
  void writeUint32(uint32_t value) { store(value); }
  void writeInt32(int32_t value) { store(static_cast<uint32_t>(value)); }
  void writeInt64(int64_t value) { store(static_cast<uint64_t>(value)); }
  // The size escapes: below 254 one byte; up to 0xffff, 254 and 16 bits; else 255 and 32.
  void writeSize(uint32_t size) {
    if (size < 254)
      return writeByte(static_cast<uint8_t>(size));
    writeLargeSize(size);
  }
  // Zero bytes up to the next multiple of `alignment` from the start of the message.
  void writeAlignment(size_t alignment);

  size_t position() const { return positionOf(cursor_); }
  // Appends what was written to `out`, once; the writer then starts a new message.
  void finish();

  // For the encoder's short values: room for up to `size` bytes (at most
  // kShortValueBytes + 16), written through the pointer, then commit() with their end.
  uint8_t* reserve(size_t size) { return room(size); }
  void commit(uint8_t* end) { cursor_ = end; }
  // The position in the message of a byte at `at`, a pointer reserve() gave.
  size_t positionOf(const uint8_t* at) const {
    return static_cast<size_t>(at - start_) + longBytes_;
  }
  static constexpr size_t kShortValueBytes = 1024;

 private:
  struct LongRun {
    size_t at;  // where it goes among the short bytes
    const uint8_t* data;
    size_t size;
  };

  void noteLongRun(const void* data, size_t size);
  void writeLargeSize(uint32_t size);
  void grow(size_t size);

  // Where `size` more bytes go.
  uint8_t* room(size_t size) {
    if (static_cast<size_t>(limit_ - cursor_) < size)
      grow(size);
    return cursor_;
  }
  template <typename Unsigned>
  void store(Unsigned value) {
    uint8_t* out = room(sizeof value);
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &value, sizeof value);
    } else {
      for (size_t i = 0; i < sizeof value; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    cursor_ += sizeof value;
  }

  std::vector<uint8_t>& out_;
  std::vector<uint8_t>* shortBytes_;  // this thread's, unless another writer has it
  std::vector<uint8_t> ownBytes_;
  std::vector<LongRun> longRuns_;
  size_t longBytes_ = 0;
  uint8_t* start_ = nullptr;
  uint8_t* cursor_ = nullptr;
  uint8_t* limit_ = nullptr;
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
