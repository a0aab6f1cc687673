// The standard codec against Flutter's bytes, and against broken and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "codec/standard_message_codec.h"
#include "codec/standard_method_codec.h"
#include "support/replies.h"

namespace tovanel {
namespace {

// "07 05 68" or "070568" to bytes.
std::vector<uint8_t> hex(std::string_view text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c != ' ')
      digits += c;
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string repeatHex(std::string_view byte, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i)
    out += byte;
  return out;
}

// Checks that `value` encodes to `expectedHex`, which decodes to `decodesAs` (or `value`).
void expectGolden(const Value& value, const std::string& expectedHex,
                  const std::optional<Value>& decodesAs = std::nullopt) {
  const auto expected = hex(expectedHex);
  EXPECT_EQ(encodeMessage(value), expected) << describe(value);
  const auto decoded = decodeMessage(expected);
  ASSERT_TRUE(decoded) << describe(value) << ": " << decoded.error;
  EXPECT_EQ(*decoded.value, decodesAs.value_or(value)) << describe(value);
}

// One value of every kind, nested, for round trips and truncation.
Value everyKind() {
  return ValueMap{
      {"null", Value()},
      {"bools", ValueList{true, false}},
      {"int32", int32_t{-7}},
      {"int64", int64_t{1} << 40},
      {"double", 101.6},
      {"string", "Label Printer 4x6 \u00e9"},
      {"bytes", Uint8List{0, 1, 2, 253, 254, 255}},
      {"int32s", Int32List{1, -2, 3}},
      {"int64s", Int64List{int64_t{1} << 50, -1}},
      {"float32s", Float32List{0.5f, -1.25f}},
      {"float64s", Float64List{152.39999999999998, 0.0}},
      {int32_t{5}, ValueMap{{Value(), ValueList{ValueMap{{"deep", 2.5}}}}}},
  };
}

// Tests the scalar kinds and their tags, int32 chosen wherever the number fits.
TEST(StandardMessageCodec, ScalarsMatchFlutterBytes) {
  expectGolden(Value(), "00");
  expectGolden(true, "01");
  expectGolden(false, "02");
  expectGolden(int32_t{1}, "03 01000000");
  expectGolden(int32_t{-1}, "03 ffffffff");
  expectGolden(std::numeric_limits<int32_t>::min(), "03 00000080");
  expectGolden(int64_t{1}, "03 01000000", Value(int32_t{1}));
  expectGolden(int64_t{-2147483648}, "03 00000080", Value(int32_t{-2147483648}));
  expectGolden(int64_t{2147483648}, "04 0000008000000000");
  expectGolden(int64_t{-2147483649}, "04 ffffff7fffffffff");
  expectGolden(std::numeric_limits<int64_t>::min(), "04 0000000000000080");
  expectGolden(1.5, "06 00000000000000 000000000000f83f");
  expectGolden(-0.0, "06 00000000000000 0000000000000080");
  expectGolden("hello", "07 05 68656c6c6f");
  expectGolden("", "07 00");
  expectGolden("\u00e9", "07 02 c3a9");
  // Sizes written longer than needed, as Flutter accepts them, still decode.
  EXPECT_EQ(decodeMessage(hex("07 fe 0200 6869")).value, Value("hi"));
  EXPECT_EQ(decodeMessage(hex("07 ff 02000000 6869")).value, Value("hi"));
}

// Tests that every kind, nested, round-trips unchanged, and special doubles keep their bits.
TEST(StandardMessageCodec, EveryKindRoundTrips) {
  for (const Value& value : {everyKind(), Value(-std::numeric_limits<double>::infinity()),
                             Value(std::numeric_limits<double>::denorm_min())}) {
    EXPECT_EQ(decodeMessage(encodeMessage(value)).value, value);
  }
  const auto nan = decodeMessage(encodeMessage(std::nan(""))).value;
  EXPECT_TRUE(nan && std::isnan(*nan->getIf<double>()));
}

// Tests each typed list: size, padding to the element size even when empty, elements.
TEST(StandardMessageCodec, TypedListsArePaddedFromTheMessageStart) {
  expectGolden(Uint8List{}, "08 00");
  expectGolden(Uint8List{1, 2, 255}, "08 03 0102ff");
  expectGolden(Int32List{}, "09 00 0000");
  expectGolden(Int32List{1, -1}, "09 02 0000 01000000 ffffffff");
  expectGolden(Int64List{}, "0a 00 000000000000");
  expectGolden(Int64List{1}, "0a 01 000000000000 0100000000000000");
  expectGolden(Float32List{1.0f}, "0e 01 0000 0000803f");
  expectGolden(Float64List{}, "0b 00 000000000000");
  expectGolden(Float64List{1.0}, "0b 01 000000000000 000000000000f03f");
}

// Tests lists, maps with keys of any kind, and padding inside nested values.
TEST(StandardMessageCodec, ContainersAndNestedAlignment) {
  expectGolden(ValueList{}, "0c 00");
  expectGolden(ValueList{int32_t{1}, "a"}, "0c 02 03 01000000 07 01 61");
  expectGolden(ValueMap{}, "0d 00");
  expectGolden(ValueMap{{"a", int32_t{1}}}, "0d 01 0701 61 03 01000000");
  expectGolden(ValueMap{{int32_t{7}, Value()}, {Value(), true}}, "0d 02 03 07000000 00 00 01");
  // The double's tag sits at byte 5, so two bytes pad it to byte 8.
  expectGolden(ValueList{"a", 1.5}, "0c 02 0701 61 06 0000 000000000000f83f");
  // The Int32List's size ends at byte 7: one byte pads it to 8.
  expectGolden(ValueMap{{"k", Int32List{2}}}, "0d 01 0701 6b 09 01 00 02000000");
  expectGolden(ValueList{ValueList{ValueList{}}}, "0c 01 0c 01 0c 00");
}

// Tests the size escapes at each boundary: 253/254 and 65535/65536.
TEST(StandardMessageCodec, SizeEscapesAtEveryBoundary) {
  const struct {
    size_t size;
    std::string sizeHex;
  } cases[] = {
      {253, "fd"},
      {254, "fe fe00"},
      {65535, "fe ffff"},
      {65536, "ff 00000100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    expectGolden(std::string(c.size, 'a'), "07 " + c.sizeHex + repeatHex("61", c.size));
    expectGolden(Uint8List(c.size, 9), "08 " + c.sizeHex + repeatHex("09", c.size));
    expectGolden(ValueList(c.size), "0c " + c.sizeHex + repeatHex("00", c.size));
  }
}

enum class Decoder { message, call, envelope };

// Why `bytes` do not decode as a message, a call or an envelope; "" when they do.
std::string decodeError(Decoder decoder, const std::vector<uint8_t>& bytes) {
  switch (decoder) {
    case Decoder::message:
      return decodeMessage(bytes) ? "" : decodeMessage(bytes).error;
    case Decoder::call:
      return decodeMethodCall(bytes) ? "" : decodeMethodCall(bytes).error;
    case Decoder::envelope:
      return decodeEnvelope(bytes) ? "" : decodeEnvelope(bytes).error;
  }
  return "";
}

// Tests that broken or hostile input fails the whole message with a reason, without
// allocating for sizes that the bytes cannot hold.
TEST(StandardCodec, RejectsBrokenInput) {
  constexpr auto message = Decoder::message, call = Decoder::call, envelope = Decoder::envelope;
  const struct {
    Decoder decoder;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {message, "", "truncated: a type tag"},
      {message, "0f", "unknown type tag 15 (at byte 0)"},
      {message, "05 0130", "large integers"},
      {message, "00 00", "1 bytes left over"},
      {message, "03 0100", "truncated: a 32-bit number"},
      {message, "04 01000000", "truncated: a 64-bit number"},
      {message, "06 00", "alignment padding"},
      {message, "07 05 6869", "truncated: a string needs 5 bytes, 2 left"},
      {message, "07 fe 01", "truncated: a 16-bit size"},
      {message, "0c ffffffffff 00", "a list of 4294967295 values"},
      {message, "0d 03 00 00 00 00", "a map of 3 entries"},
      {message, "0b ffffffff0f 000000", "truncated: a typed list"},
      {message, "07 02 c328", "not valid UTF-8"},
      {message, "0c 02 00 07", "truncated: a size"},
      {call, "03 01000000 00", "the method name is not a string"},
      {call, "0701 6d", "truncated: a type tag"},
      {call, "0701 6d 00 00", "1 bytes left over after the arguments"},
      {envelope, "", "truncated: the envelope's first byte"},
      {envelope, "02 00", "starts with 0 or 1, not 2"},
      {envelope, "00 01 00", "left over after the result"},
      {envelope, "01 03 01000000 00 00", "the error code is not a string"},
      {envelope, "01 0701 45 01 00", "neither a string nor null"},
      {envelope, "01 0701 45 00 00 03 01000000", "stack trace is neither"},
      {envelope, "01 0701 45 00 00 00 00", "left over after the error"},
      {envelope, "01 0701 45 00", "truncated"},
  };
  for (const auto& c : cases) {
    const std::string error = decodeError(c.decoder, hex(c.bytes));
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.bytes << ": \"" << error << "\"";
  }
}

// Tests the nesting bound: the deepest allowed nesting decodes, one more level fails.
TEST(StandardCodec, NestingIsBounded) {
  auto nested = [](size_t levels) {
    std::string bytes;
    for (size_t i = 0; i < levels; ++i)
      bytes += i % 2 ? "0d01 00" : "0c01";
    return bytes + "00";
  };
  EXPECT_EQ(decodeError(Decoder::message, hex(nested(kMaxNestingDepth))), "");
  EXPECT_NE(
      decodeError(Decoder::message, hex(nested(kMaxNestingDepth + 1))).find("nest deeper than 64"),
      std::string::npos);
  // A hundred thousand levels must fail on the bound, not on the stack.
  EXPECT_NE(decodeError(Decoder::message, hex(nested(100000))), "");
}

// Tests that every proper prefix of valid messages fails cleanly, never reads past it.
TEST(StandardCodec, EveryPrefixFails) {
  const std::pair<Decoder, std::vector<uint8_t>> messages[] = {
      {Decoder::message, encodeMessage(everyKind())},
      {Decoder::call, encodeMethodCall(MethodCall{"printDocument", everyKind()})},
      {Decoder::envelope, encodeSuccessEnvelope(everyKind())},
      {Decoder::envelope,
       encodeErrorEnvelope(ErrorEnvelope{"PRINT_FAILED", "failed", everyKind()})},
  };
  for (const auto& [decoder, bytes] : messages) {
    for (size_t size = 0; size < bytes.size(); ++size) {
      // A copy of exactly that size, so that the sanitizers see any read past it.
      const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + size);
      EXPECT_NE(decodeError(decoder, prefix), "") << describe(Value(Uint8List(prefix)));
    }
  }
}

// Tests method calls: name then arguments, with padding counted from the name's tag.
TEST(StandardMethodCodec, CallsMatchFlutterBytes) {
  const auto bytes = hex("0701 6d 06 00000000 000000000000f83f");
  EXPECT_EQ(encodeMethodCall({"m", 1.5}), bytes);
  const auto decoded = decodeMethodCall(bytes);
  ASSERT_TRUE(decoded) << decoded.error;
  EXPECT_EQ(decoded.value->method, "m");
  EXPECT_EQ(decoded.value->arguments, Value(1.5));
  const auto withoutArguments = decodeMethodCall(hex("0701 6d 00"));
  ASSERT_TRUE(withoutArguments);
  EXPECT_TRUE(withoutArguments.value->arguments.isNull());
}

// Tests envelopes both ways, the optional stack trace, a null message apart from an empty
// one, and "not implemented" as no bytes at all.
TEST(StandardMethodCodec, EnvelopesMatchFlutterBytes) {
  EXPECT_EQ(encodeSuccessEnvelope(2.0), hex("00 06 000000000000 0000000000000040"));
  EXPECT_EQ(encodeMethodReply(testing::errorReply("E", "m")), hex("01 0701 45 0701 6d 00"));
  EXPECT_EQ(encodeErrorEnvelope(ErrorEnvelope{"E", std::nullopt, Value()}),
            hex("01 0701 45 00 00"));
  EXPECT_TRUE(encodeMethodReply(testing::notImplementedReply()).empty());
  const struct {
    const char* bytes;
    Envelope expected;
  } cases[] = {
      {"00 01", Value(true)},
      {"01 0701 45 0701 6d 00", ErrorEnvelope{"E", "m", Value()}},
      {"01 0701 45 00 0701 64", ErrorEnvelope{"E", std::nullopt, "d"}},
      {"01 0701 45 0700 00", ErrorEnvelope{"E", "", Value()}},
      {"01 0701 45 0701 6d 00 0702 7374", ErrorEnvelope{"E", "m", Value()}},
      {"01 0701 45 0701 6d 00 00", ErrorEnvelope{"E", "m", Value()}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(decodeEnvelope(hex(c.bytes)).value, c.expected) << c.bytes;
}

}  // namespace
}  // namespace tovanel
