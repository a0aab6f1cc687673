// The reply encoder as it was before the single-pass writer: a counting pass, then a
// writing pass through the same byte-at-a-time writer. Kept only so that the benchmark
// measures the encoder against it in the same run.
#pragma once

#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "codec/standard_message_codec.h"
#include "codec/value.h"

namespace tovanel::reference {

// Appends to a byte vector, or only counts the bytes when it has none.
class CountingWriter {
 public:
  explicit CountingWriter(std::vector<uint8_t>* out) : out_(out) {}
  void writeByte(uint8_t byte);
  void writeBytes(const void* data, size_t size);
  void writeUint16(uint16_t value);
  void writeUint32(uint32_t value);
  void writeInt32(int32_t value) { writeUint32(static_cast<uint32_t>(value)); }
  void writeInt64(int64_t value);
  void writeDouble(double value);
  void writeSize(uint32_t size);
  void writeAlignment(size_t alignment);
  size_t position() const { return position_; }

 private:
  std::vector<uint8_t>* out_;
  size_t position_ = 0;
};

inline void CountingWriter::writeByte(uint8_t byte) {
  if (out_)
    out_->push_back(byte);
  ++position_;
}

inline void CountingWriter::writeBytes(const void* data, size_t size) {
  if (out_ && size > 0) {
    const auto* first = static_cast<const uint8_t*>(data);
    out_->insert(out_->end(), first, first + size);
  }
  position_ += size;
}

inline void CountingWriter::writeUint16(uint16_t value) {
  const uint8_t bytes[] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  writeBytes(bytes, sizeof bytes);
}

inline void CountingWriter::writeUint32(uint32_t value) {
  uint8_t bytes[4];
  for (size_t i = 0; i < sizeof bytes; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  writeBytes(bytes, sizeof bytes);
}

inline void CountingWriter::writeInt64(int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  uint8_t bytes[8];
  for (size_t i = 0; i < sizeof bytes; ++i)
    bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  writeBytes(bytes, sizeof bytes);
}

inline void CountingWriter::writeDouble(double value) {
  writeInt64(std::bit_cast<int64_t>(value));
}

inline void CountingWriter::writeSize(uint32_t size) {
  if (size < 254) {
    writeByte(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    writeByte(254);
    writeUint16(static_cast<uint16_t>(size));
  } else {
    writeByte(255);
    writeUint32(size);
  }
}

inline void CountingWriter::writeAlignment(size_t alignment) {
  static constexpr uint8_t kZeros[8] = {};
  const size_t padding = (alignment - position_ % alignment) % alignment;
  writeBytes(kZeros, padding);
}

namespace detail {
constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

inline void writeTag(CountingWriter& writer, CodecTag tag) {
  writer.writeByte(static_cast<uint8_t>(tag));
}

inline void writeSize(CountingWriter& writer, size_t size) {
  writer.writeSize(static_cast<uint32_t>(size));
}

template <typename T>
inline void writeElement(CountingWriter& writer, T element) {
  if constexpr (sizeof(T) == 1) {
    writer.writeByte(element);
  } else if constexpr (sizeof(T) == 4) {
    writer.writeUint32(std::bit_cast<uint32_t>(element));
  } else {
    writer.writeInt64(std::bit_cast<int64_t>(element));
  }
}

template <typename T>
inline void writeTypedList(CountingWriter& writer, CodecTag tag, const std::vector<T>& list) {
  writeTag(writer, tag);
  writeSize(writer, list.size());
  writer.writeAlignment(sizeof(T));
  if constexpr (kLittleEndianHost) {
    writer.writeBytes(list.data(), list.size() * sizeof(T));
  } else {
    for (T element : list)
      writeElement(writer, element);
  }
}

}  // namespace detail

inline void writeValue(CountingWriter& writer, const Value& value) {
  std::visit(
      [&writer](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          detail::writeTag(writer, CodecTag::null);
        } else if constexpr (std::is_same_v<T, bool>) {
          detail::writeTag(writer, v ? CodecTag::trueValue : CodecTag::falseValue);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          detail::writeTag(writer, CodecTag::int32);
          writer.writeInt32(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          if (v >= std::numeric_limits<int32_t>::min() &&
              v <= std::numeric_limits<int32_t>::max()) {
            detail::writeTag(writer, CodecTag::int32);
            writer.writeInt32(static_cast<int32_t>(v));
          } else {
            detail::writeTag(writer, CodecTag::int64);
            writer.writeInt64(v);
          }
        } else if constexpr (std::is_same_v<T, double>) {
          detail::writeTag(writer, CodecTag::float64);
          writer.writeAlignment(8);
          writer.writeDouble(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          detail::writeTag(writer, CodecTag::string);
          detail::writeSize(writer, v.size());
          writer.writeBytes(v.data(), v.size());
        } else if constexpr (std::is_same_v<T, Uint8List>) {
          detail::writeTypedList(writer, CodecTag::uint8List, v);
        } else if constexpr (std::is_same_v<T, Int32List>) {
          detail::writeTypedList(writer, CodecTag::int32List, v);
        } else if constexpr (std::is_same_v<T, Int64List>) {
          detail::writeTypedList(writer, CodecTag::int64List, v);
        } else if constexpr (std::is_same_v<T, Float32List>) {
          detail::writeTypedList(writer, CodecTag::float32List, v);
        } else if constexpr (std::is_same_v<T, Float64List>) {
          detail::writeTypedList(writer, CodecTag::float64List, v);
        } else if constexpr (std::is_same_v<T, ValueList>) {
          detail::writeTag(writer, CodecTag::list);
          detail::writeSize(writer, v.size());
          for (const Value& element : v)
            writeValue(writer, element);
        } else {
          detail::writeTag(writer, CodecTag::map);
          detail::writeSize(writer, v.size());
          for (const auto& [key, element] : v) {
            writeValue(writer, key);
            writeValue(writer, element);
          }
        }
      },
      static_cast<const ValueVariant&>(value));
}

inline std::vector<uint8_t> encodeSuccessEnvelope(const Value& result) {
  const auto write = [&result](CountingWriter& writer) {
    writer.writeByte(0);
    writeValue(writer, result);
  };
  CountingWriter counter(nullptr);
  write(counter);
  std::vector<uint8_t> bytes;
  bytes.reserve(counter.position());
  CountingWriter writer(&bytes);
  write(writer);
  return bytes;
}

}  // namespace tovanel::reference
