// The standard codec against Flutter's bytes, and against broken and hostile input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codec/standard_message_codec.h"
#include "codec/standard_method_codec.h"
#include "codec/text_encodings.h"
#include "support/replies.h"
#include "support/rows.h"

namespace tovanel {
namespace {

// `head`, then `count` bytes of `fill`, then `tail`; head and tail in hex.
std::vector<uint8_t> bytes(std::string_view head, size_t count = 0, uint8_t fill = 0,
                           std::string_view tail = "") {
  auto out = fromHex(head).value(), rest = fromHex(tail).value();
  out.insert(out.end(), count, fill);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

void expectGolden(const Value& value, const std::vector<uint8_t>& expected) {
  EXPECT_EQ(encodeMessage(value), expected) << describe(value);
  EXPECT_EQ(decodeMessage(expected).value, value) << describe(value);
}

// Every kind of value with its bytes, padded to the element size from the start of the message.
// clang-format off
const testing::Row<Value, const char*> kGoldens[] = {
    {.name = "null, bools, strings", .in = ValueList{Value(), true, false, "", "h\u00e9"},
     .expect = "0c 05 00 01 02 0700 0703 68c3a9"},
    {.name = "int32 wherever a number fits",
     .in = ValueList{int32_t{-1}, INT32_MIN, int64_t{1} << 31, -(int64_t{1} << 31) - 1},
     .expect = "0c 04 03 ffffffff 03 00000080 04 0000008000000000 04 ffffff7fffffffff"},
    {.name = "negative zero", .in = -0.0, .expect = "06 00000000000000 0000000000000080"},
    {.name = "padded from the start", .in = ValueList{"a", 1.5},
     .expect = "0c 02 0701 61 06 0000 000000000000f83f"},
    {.name = "a map", .in = ValueMap{{int32_t{7}, Value()}, {"a", Int32List{2}}},
     .expect = "0d 02 03 07000000 00 0701 61 09 01 000000 02000000"},
    {.name = "typed lists",
     .in = ValueList{Uint8List{1, 2, 255}, Int32List{}, Int32List{1, -1}, Int64List{1},
                     Float32List{1.0f}, Float64List{}, Float64List{1.0}},
     .expect = "0c 07 08 03 0102ff 09 00 000000 09 02 0000 01000000 ffffffff 0a 01 000000000000 "
               "0100000000000000 0e 01 0000 0000803f 0b 00 000000000000 0b 01 000000000000 "
               "000000000000f03f"}};
// clang-format on

// Tests every kind's bytes, int32 wherever a number fits, padding from the start, size escapes.
TEST(StandardMessageCodec, MatchesFlutterBytes) {
  testing::forEachRow(kGoldens, [](const auto& row) { expectGolden(row.in, bytes(row.expect)); });
  EXPECT_EQ(encodeMessage(int64_t{INT32_MIN}), bytes("03 00000080"));
  // Typed data over the short-value size, then a double that pads after it.
  expectGolden(ValueList{Uint8List(1026, 7), 1.5},
               bytes("0c 02 08 fe 0204", 1026, 7, "06 00000000000000 000000000000f83f"));
  const testing::Row<size_t, std::string> escapes[] = {
      {.name = "the longest in one byte", .in = 253, .expect = "fd"},
      {.name = "the shortest after 254", .in = 254, .expect = "fe fe00"},
      {.name = "the longest after 254", .in = 65535, .expect = "fe ffff"},
      {.name = "the shortest after 255", .in = 65536, .expect = "ff 00000100"}};
  testing::forEachRow(escapes, [](const auto& row) {
    expectGolden(std::string(row.in, 'a'), bytes("07" + row.expect, row.in, 'a'));
    expectGolden(Uint8List(row.in, 9), bytes("08" + row.expect, row.in, 9));
    expectGolden(ValueList(row.in), bytes("0c" + row.expect, row.in, 0));
  });
}

template <auto decode>
std::string errorOf(std::span<const uint8_t> input) {
  const auto decoded = decode(input);
  return decoded ? "" : decoded.error;
}
using Decoder = std::string (*)(std::span<const uint8_t>);
constexpr Decoder message = errorOf<decodeMessage>, call = errorOf<decodeMethodCall>,
                  envelope = errorOf<decodeEnvelope>;

// Tests that broken, hostile or over-nested input fails with its reason, never trusting a size.
TEST(StandardCodec, RefusesBrokenInput) {
  std::string nested;
  for (size_t i = 0; i < kMaxNestingDepth; ++i)
    nested += i % 2 ? "0d01 00" : "0c01";
  EXPECT_EQ(message(bytes(nested + "00")), "");
  // Each row is named by the reason its error must give.
  const struct {
    const char* name = "";
    Decoder decode = nullptr;
    std::string hex = "";
  } rows[] = {
      {.name = "unknown type tag 15 (at byte 0)", .decode = message, .hex = "0f"},
      {.name = "large integers", .decode = message, .hex = "05 0130"},
      {.name = "1 bytes left over", .decode = message, .hex = "00 00"},
      {.name = "a list of 4294967295 values", .decode = message, .hex = "0c ffffffffff 00"},
      {.name = "a map of 3 entries", .decode = message, .hex = "0d 03 00 00 00 00"},
      {.name = "truncated: a typed list", .decode = message, .hex = "0b ffffffff0f 000000"},
      {.name = "not valid UTF-8", .decode = message, .hex = "07 02 c328"},
      {.name = "nest deeper than 64", .decode = message, .hex = "0c01" + nested + "00"},
      {.name = "the method name is not a string", .decode = call, .hex = "03 01000000 00"},
      {.name = "1 bytes left over after the arguments", .decode = call, .hex = "0701 6d 00 00"},
      {.name = "starts with 0 or 1, not 2", .decode = envelope, .hex = "02 00"},
      {.name = "left over after the result", .decode = envelope, .hex = "00 01 00"},
      {.name = "the error code is not a string", .decode = envelope, .hex = "01 03 01000000 00 00"},
      {.name = "neither a string nor null", .decode = envelope, .hex = "01 0701 45 01 00"},
      {.name = "stack trace is neither", .decode = envelope, .hex = "01 0701 45 00 00 03 01000000"},
      {.name = "left over after the error", .decode = envelope, .hex = "01 0701 45 00 00 00 00"}};
  testing::forEachRow(rows, [](const auto& row) {
    EXPECT_THAT(row.decode(bytes(row.hex)), ::testing::HasSubstr(row.name));
  });
}

// Tests calls' padding from the name's tag, null and empty messages, stack traces, not implemented.
TEST(StandardMethodCodec, MatchesFlutterBytes) {
  EXPECT_EQ(encodeMethodCall({"m", 1.5}), bytes("0701 6d 06 00000000 000000000000f83f"));
  EXPECT_EQ(encodeSuccessEnvelope(2.0), bytes("00 06 000000000000 0000000000000040"));
  EXPECT_EQ(encodeMethodReply(FlutterError{"E", "m", Value()}), bytes("01 0701 45 0701 6d 00"));
  EXPECT_TRUE(encodeMethodReply(FlutterMethodNotImplemented{}).empty());
  // clang-format off
  const testing::Row<const char*, Envelope> rows[] = {
      {.name = "no message", .in = "01 0701 45 00 0701 64", .expect = ErrorEnvelope{"E", {}, "d"}},
      {.name = "an empty message", .in = "01 0701 45 0700 00",
       .expect = ErrorEnvelope{"E", "", Value()}},
      {.name = "a stack trace", .in = "01 0701 45 0701 6d 00 0702 7374",
       .expect = ErrorEnvelope{"E", "m", Value()}}};
  // clang-format on
  testing::expectRows(rows, [](const char* hex) { return decodeEnvelope(bytes(hex)).value; });
}

// Tests that argument keys match by canonical text, the last equal key winning.
TEST(Value, FindStringKeyComparesCanonicalText) {
  const ValueMap map{{"Caf\u00e9", 1}, {"Cafe\u0301", 2}, {3, 3}};
  EXPECT_EQ(*findStringKey(map, "Caf\u00e9"), Value(2));
}

}  // namespace
}  // namespace tovanel
