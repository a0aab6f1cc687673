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

// Short values are written straight into the writer's staging buffer: a tag, a size or a
// number, and a short string, with one check for room.
uint8_t* putSize(uint8_t* out, size_t size) {
  if (size < 254) {
    *out = static_cast<uint8_t>(size);
    return out + 1;
  }
  *out = 254;  // sizes of short values fit 16 bits
  out[1] = static_cast<uint8_t>(size);
  out[2] = static_cast<uint8_t>(size >> 8);
  return out + 3;
}

template <typename Unsigned>
uint8_t* putLittleEndian(uint8_t* out, Unsigned value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &value, sizeof value);
  } else {
    for (size_t i = 0; i < sizeof value; ++i)
      out[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  return out + sizeof value;
}

constexpr size_t kShortString = 16;

size_t paddingAt(size_t at, size_t alignment) {
  return (alignment - at % alignment) % alignment;
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
  // A switch on the kind, not std::visit: a reply of 20 000 values spends its time here.
  switch (value.index()) {
    case 0:
      return writeTag(writer, CodecTag::null);
    case 1:
      return writeTag(writer, *value.getIf<bool>() ? CodecTag::trueValue : CodecTag::falseValue);
    case 2: {
      uint8_t* out = writer.reserve(5);
      *out = static_cast<uint8_t>(CodecTag::int32);
      return writer.commit(
          putLittleEndian(out + 1, static_cast<uint32_t>(*value.getIf<int32_t>())));
    }
    case 3: {
      const int64_t number = *value.getIf<int64_t>();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        writeTag(writer, CodecTag::int32);
        return writer.writeInt32(static_cast<int32_t>(number));
      }
      writeTag(writer, CodecTag::int64);
      return writer.writeInt64(number);
    }
    case 4: {
      uint8_t* out = writer.reserve(16);
      *out++ = static_cast<uint8_t>(CodecTag::float64);
      const size_t padding = paddingAt(writer.positionOf(out), 8);
      std::memset(out, 0, 8);  // a fixed size is one store; the bytes past the padding are
                               // overwritten by the number
      const auto bits = std::bit_cast<uint64_t>(*value.getIf<double>());
      return writer.commit(putLittleEndian(out + padding, bits));
    }
    case 5: {
      const std::string& text = *value.getIf<std::string>();
      if (text.size() > CodecWriter::kShortValueBytes) {
        writeTag(writer, CodecTag::string);
        writeSize(writer, text.size());
        return writer.writeBytes(text.data(), text.size());
      }
      uint8_t* out = writer.reserve(4 + std::max(text.size(), kShortString));
      *out = static_cast<uint8_t>(CodecTag::string);
      out = putSize(out + 1, text.size());
      // Most keys and names fit 16 bytes, which a std::string always holds (in place, or
      // as a larger allocation): a fixed copy of 16 is two stores; what is past the text
      // is overwritten by what comes next.
      if (text.size() <= kShortString)
        std::memcpy(out, text.data(), kShortString);
      else
        std::memcpy(out, text.data(), text.size());
      return writer.commit(out + text.size());
    }
    case 6:
      return writeTypedList(writer, CodecTag::uint8List, *value.getIf<Uint8List>());
    case 7:
      return writeTypedList(writer, CodecTag::int32List, *value.getIf<Int32List>());
    case 8:
      return writeTypedList(writer, CodecTag::int64List, *value.getIf<Int64List>());
    case 9:
      return writeTypedList(writer, CodecTag::float32List, *value.getIf<Float32List>());
    case 10:
      return writeTypedList(writer, CodecTag::float64List, *value.getIf<Float64List>());
    case 11: {
      const ValueList& list = *value.getIf<ValueList>();
      writeTag(writer, CodecTag::list);
      writeSize(writer, list.size());
      for (const Value& element : list)
        writeValue(writer, element);
      return;
    }
    default: {
      const ValueMap& map = *value.getIf<ValueMap>();
      writeTag(writer, CodecTag::map);
      writeSize(writer, map.size());
      for (const auto& [key, element] : map) {
        writeValue(writer, key);
        writeValue(writer, element);
      }
    }
  }
}

bool readValue(CodecReader& reader, Value& value) {
  return readValueAt(reader, value, 0);
}

std::vector<uint8_t> encodeMessage(const Value& value) {
  std::vector<uint8_t> bytes;
  CodecWriter writer(bytes);
  writeValue(writer, value);
  writer.finish();
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
