// The standard message codec, byte for byte as Flutter's: a type tag, then the value;
// numbers little-endian; sizes with the 254/255 escapes; typed lists and doubles padded
// to their element size from the start of the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/decoded.h"
#include "codec/codec_buffer.h"
#include "codec/value.h"

namespace tovanel {

enum class CodecTag : uint8_t {
  null = 0,
  trueValue = 1,
  falseValue = 2,
  int32 = 3,
  int64 = 4,
  largeInt = 5,  // Flutter's old hex-string integers; refused
  float64 = 6,
  string = 7,
  uint8List = 8,
  int32List = 9,
  int64List = 10,
  float64List = 11,
  list = 12,
  map = 13,
  float32List = 14,
};

// Lists and maps may nest this deep; anything deeper is refused, not recursed into.
inline constexpr size_t kMaxNestingDepth = 64;

// One value as a whole message. Integers are written as int32 when they fit. Needs every
// string, list and map to hold fewer than 2^32 bytes or entries.
std::vector<uint8_t> encodeMessage(const Value& value);

// One value that must fill `bytes` exactly. Strings must be valid UTF-8. Any violation
// (truncation, a size past the end, an unknown tag, nesting past kMaxNestingDepth,
// bytes left over) fails the whole message with its reason.
Decoded<Value> decodeMessage(std::span<const uint8_t> bytes);

// The building blocks of the method codec: one value at the writer's or reader's place.
void writeValue(CodecWriter& writer, const Value& value);
bool readValue(CodecReader& reader, Value& value);

}  // namespace tovanel
