#include "codec/standard_message_codec.h"

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "text/text.h"

namespace tovanel {
namespace {

constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

void writeTag(CodecWriter& writer, CodecTag tag) {
  writer.writeByte(static_cast<uint8_t>(tag));
}

void writeSize(CodecWriter& writer, size_t size) {
  writer.writeSize(static_cast<uint32_t>(size));
}

template <typename T>
void writeElement(CodecWriter& writer, T element) {
  if constexpr (sizeof(T) == 1) {
    writer.writeByte(element);
  } else if constexpr (sizeof(T) == 4) {
    writer.writeUint32(std::bit_cast<uint32_t>(element));
  } else {
    writer.writeInt64(std::bit_cast<int64_t>(element));
  }
}

template <typename T>
void writeTypedList(CodecWriter& writer, CodecTag tag, const std::vector<T>& list) {
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

template <typename T>
T readElement(const uint8_t* data) {
  using Bits = std::conditional_t<sizeof(T) == 1, uint8_t,
                                  std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;
  Bits bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    bits |= static_cast<Bits>(static_cast<Bits>(data[i]) << (8 * i));
  return std::bit_cast<T>(bits);
}

// Size, padding, then the elements; the bytes are copied once, straight into the list.
template <typename T>
bool readTypedList(CodecReader& reader, Value& value) {
  uint32_t count;
  std::span<const uint8_t> bytes;
  if (!reader.readSize(count) || !reader.readAlignment(sizeof(T)) ||
      !reader.readSpan(static_cast<size_t>(count) * sizeof(T), bytes, "a typed list")) {
    return false;
  }
  std::vector<T> list;
  if constexpr (sizeof(T) == 1) {
    list.assign(bytes.begin(), bytes.end());
  } else if constexpr (kLittleEndianHost) {
    list.resize(count);
    if (count > 0)
      std::memcpy(list.data(), bytes.data(), bytes.size());
  } else {
    list.reserve(count);
    for (size_t i = 0; i < count; ++i)
      list.push_back(readElement<T>(bytes.data() + i * sizeof(T)));
  }
  value = std::move(list);
  return true;
}

bool readString(CodecReader& reader, Value& value) {
  uint32_t size;
  std::span<const uint8_t> bytes;
  if (!reader.readSize(size) || !reader.readSpan(size, bytes, "a string"))
    return false;
  std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!isValidUtf8(text))
    return reader.fail("a string is not valid UTF-8");
  value = std::move(text);
  return true;
}

bool readValueAt(CodecReader& reader, Value& value, size_t depth);

bool readList(CodecReader& reader, Value& value, size_t depth) {
  uint32_t count;
  if (!reader.readSize(count))
    return false;
  // Every element takes at least its tag byte: a count past that is a lie, caught
  // before anything is reserved for it.
  if (count > reader.remaining()) {
    return reader.fail("truncated: a list of " + std::to_string(count) + " values, " +
                       std::to_string(reader.remaining()) + " bytes left");
  }
  ValueList list;
  list.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!readValueAt(reader, list.emplace_back(), depth + 1))
      return false;
  }
  value = std::move(list);
  return true;
}

bool readMap(CodecReader& reader, Value& value, size_t depth) {
  uint32_t count;
  if (!reader.readSize(count))
    return false;
  if (count > reader.remaining() / 2) {
    return reader.fail("truncated: a map of " + std::to_string(count) + " entries, " +
                       std::to_string(reader.remaining()) + " bytes left");
  }
  ValueMap map;
  map.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    auto& entry = map.emplace_back();
    if (!readValueAt(reader, entry.first, depth + 1) ||
        !readValueAt(reader, entry.second, depth + 1)) {
      return false;
    }
  }
  value = std::move(map);
  return true;
}

bool readValueAt(CodecReader& reader, Value& value, size_t depth) {
  const size_t tagPosition = reader.position();
  uint8_t tag;
  if (!reader.readByte(tag, "a type tag"))
    return false;
  switch (static_cast<CodecTag>(tag)) {
    case CodecTag::null:
      value = Value();
      return true;
    case CodecTag::trueValue:
      value = true;
      return true;
    case CodecTag::falseValue:
      value = false;
      return true;
    case CodecTag::int32: {
      int32_t number;
      if (!reader.readInt32(number))
        return false;
      value = number;
      return true;
    }
    case CodecTag::int64: {
      int64_t number;
      if (!reader.readInt64(number))
        return false;
      value = number;
      return true;
    }
    case CodecTag::largeInt:
      return reader.fail("large integers (type tag 5) are not supported", tagPosition);
    case CodecTag::float64: {
      double number;
      if (!reader.readAlignment(8) || !reader.readDouble(number))
        return false;
      value = number;
      return true;
    }
    case CodecTag::string:
      return readString(reader, value);
    case CodecTag::uint8List:
      return readTypedList<uint8_t>(reader, value);
    case CodecTag::int32List:
      return readTypedList<int32_t>(reader, value);
    case CodecTag::int64List:
      return readTypedList<int64_t>(reader, value);
    case CodecTag::float32List:
      return readTypedList<float>(reader, value);
    case CodecTag::float64List:
      return readTypedList<double>(reader, value);
    case CodecTag::list:
    case CodecTag::map:
      if (depth >= kMaxNestingDepth) {
        return reader.fail(
            "lists and maps nest deeper than " + std::to_string(kMaxNestingDepth) + " levels",
            tagPosition);
      }
      return static_cast<CodecTag>(tag) == CodecTag::list ? readList(reader, value, depth)
                                                          : readMap(reader, value, depth);
  }
  return reader.fail("unknown type tag " + std::to_string(tag), tagPosition);
}

}  // namespace

void writeValue(CodecWriter& writer, const Value& value) {
  std::visit(
      [&writer](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          writeTag(writer, CodecTag::null);
        } else if constexpr (std::is_same_v<T, bool>) {
          writeTag(writer, v ? CodecTag::trueValue : CodecTag::falseValue);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          writeTag(writer, CodecTag::int32);
          writer.writeInt32(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          if (v >= std::numeric_limits<int32_t>::min() &&
              v <= std::numeric_limits<int32_t>::max()) {
            writeTag(writer, CodecTag::int32);
            writer.writeInt32(static_cast<int32_t>(v));
          } else {
            writeTag(writer, CodecTag::int64);
            writer.writeInt64(v);
          }
        } else if constexpr (std::is_same_v<T, double>) {
          writeTag(writer, CodecTag::float64);
          writer.writeAlignment(8);
          writer.writeDouble(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          writeTag(writer, CodecTag::string);
          writeSize(writer, v.size());
          writer.writeBytes(v.data(), v.size());
        } else if constexpr (std::is_same_v<T, Uint8List>) {
          writeTypedList(writer, CodecTag::uint8List, v);
        } else if constexpr (std::is_same_v<T, Int32List>) {
          writeTypedList(writer, CodecTag::int32List, v);
        } else if constexpr (std::is_same_v<T, Int64List>) {
          writeTypedList(writer, CodecTag::int64List, v);
        } else if constexpr (std::is_same_v<T, Float32List>) {
          writeTypedList(writer, CodecTag::float32List, v);
        } else if constexpr (std::is_same_v<T, Float64List>) {
          writeTypedList(writer, CodecTag::float64List, v);
        } else if constexpr (std::is_same_v<T, ValueList>) {
          writeTag(writer, CodecTag::list);
          writeSize(writer, v.size());
          for (const Value& element : v)
            writeValue(writer, element);
        } else {
          writeTag(writer, CodecTag::map);
          writeSize(writer, v.size());
          for (const auto& [key, element] : v) {
            writeValue(writer, key);
            writeValue(writer, element);
          }
        }
      },
      static_cast<const ValueVariant&>(value));
}

bool readValue(CodecReader& reader, Value& value) {
  return readValueAt(reader, value, 0);
}

std::vector<uint8_t> encodeMessage(const Value& value) {
  CodecWriter counter(nullptr);
  writeValue(counter, value);
  std::vector<uint8_t> bytes;
  bytes.reserve(counter.position());
  CodecWriter writer(&bytes);
  writeValue(writer, value);
  return bytes;
}

Decoded<Value> decodeMessage(std::span<const uint8_t> bytes) {
  CodecReader reader(bytes);
  Value value;
  if (!readValue(reader, value))
    return Decoded<Value>::failure(reader.error());
  if (!reader.atEnd()) {
    reader.fail(std::to_string(reader.remaining()) + " bytes left over after the value");
    return Decoded<Value>::failure(reader.error());
  }
  return Decoded<Value>::success(std::move(value));
}

}  // namespace tovanel
