// The standard codec against Flutter's bytes, and against broken and hostile input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codec/standard_message_codec.h"
#include "codec/standard_method_codec.h"
#include "codec/text_encodings.h"
#include "support/replies.h"

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
const std::pair<Value, const char*> kGoldens[] = {
    {ValueList{Value(), true, false, "", "h\u00e9"}, "0c 05 00 01 02 0700 0703 68c3a9"},
    {ValueList{int32_t{-1}, INT32_MIN, int64_t{1} << 31, -(int64_t{1} << 31) - 1},
     "0c 04 03 ffffffff 03 00000080 04 0000008000000000 04 ffffff7fffffffff"},
    {-0.0, "06 00000000000000 0000000000000080"},
    {ValueList{"a", 1.5}, "0c 02 0701 61 06 0000 000000000000f83f"},
    {ValueMap{{int32_t{7}, Value()}, {"a", Int32List{2}}},
     "0d 02 03 07000000 00 0701 61 09 01 000000 02000000"},
    {ValueList{Uint8List{1, 2, 255}, Int32List{}, Int32List{1, -1}, Int64List{1}, Float32List{1.0f},
               Float64List{}, Float64List{1.0}},
     "0c 07 08 03 0102ff 09 00 000000 09 02 0000 01000000 ffffffff 0a 01 000000000000 "
     "0100000000000000 0e 01 0000 0000803f 0b 00 000000000000 0b 01 000000000000 "
     "000000000000f03f"}};

// Tests every kind's bytes, int32 wherever a number fits, padding from the start, size escapes.
TEST(StandardMessageCodec, MatchesFlutterBytes) {
  for (const auto& [value, hex] : kGoldens)
    expectGolden(value, bytes(hex));
  EXPECT_EQ(encodeMessage(int64_t{INT32_MIN}), bytes("03 00000080"));
  // Typed data over the short-value size, then a double that pads after it.
  expectGolden(ValueList{Uint8List(1026, 7), 1.5},
               bytes("0c 02 08 fe 0204", 1026, 7, "06 00000000000000 000000000000f83f"));
  const std::pair<size_t, std::string> escapes[] = {
      {253, "fd"}, {254, "fe fe00"}, {65535, "fe ffff"}, {65536, "ff 00000100"}};
  for (const auto& [size, hex] : escapes) {
    expectGolden(std::string(size, 'a'), bytes("07" + hex, size, 'a'));
    expectGolden(Uint8List(size, 9), bytes("08" + hex, size, 9));
    expectGolden(ValueList(size), bytes("0c" + hex, size, 0));
  }
}

template <auto decode>
std::string errorOf(std::span<const uint8_t> input) {
  const auto decoded = decode(input);
  return decoded ? "" : decoded.error;
}
constexpr auto message = errorOf<decodeMessage>, call = errorOf<decodeMethodCall>,
               envelope = errorOf<decodeEnvelope>;

// Tests that broken, hostile or over-nested input fails with its reason, never trusting a size.
TEST(StandardCodec, RefusesBrokenInput) {
  std::string nested;
  for (size_t i = 0; i < kMaxNestingDepth; ++i)
    nested += i % 2 ? "0d01 00" : "0c01";
  EXPECT_EQ(message(bytes(nested + "00")), "");
  const std::tuple<std::string (*)(std::span<const uint8_t>), std::string, const char*> cases[] = {
      {message, "0f", "unknown type tag 15 (at byte 0)"},
      {message, "05 0130", "large integers"},
      {message, "00 00", "1 bytes left over"},
      {message, "0c ffffffffff 00", "a list of 4294967295 values"},
      {message, "0d 03 00 00 00 00", "a map of 3 entries"},
      {message, "0b ffffffff0f 000000", "truncated: a typed list"},
      {message, "07 02 c328", "not valid UTF-8"},
      {message, "0c01" + nested + "00", "nest deeper than 64"},
      {call, "03 01000000 00", "the method name is not a string"},
      {call, "0701 6d 00 00", "1 bytes left over after the arguments"},
      {envelope, "02 00", "starts with 0 or 1, not 2"},
      {envelope, "00 01 00", "left over after the result"},
      {envelope, "01 03 01000000 00 00", "the error code is not a string"},
      {envelope, "01 0701 45 01 00", "neither a string nor null"},
      {envelope, "01 0701 45 00 00 03 01000000", "stack trace is neither"},
      {envelope, "01 0701 45 00 00 00 00", "left over after the error"}};
  for (const auto& [decoder, hex, reason] : cases)
    EXPECT_THAT(decoder(bytes(hex)), ::testing::HasSubstr(reason)) << hex;
}

// Tests that every proper prefix of a message fails without reading past it.
TEST(StandardCodec, EveryPrefixFails) {
  ValueList every{ValueMap{{int32_t{5}, ValueList{ValueMap{{Value(), 2.5}}}}}};
  for (const auto& [value, hex] : kGoldens)
    every.push_back(value);
  for (const auto& [decoder, whole] :
       {std::pair{message, encodeMessage(every)},
        {call, encodeMethodCall({"print", every})},
        {envelope, encodeSuccessEnvelope(every)},
        {envelope, encodeErrorEnvelope({"PRINT_FAILED", "failed", every})}})
    for (size_t size = 0; size < whole.size(); ++size)
      EXPECT_NE(decoder(std::vector(whole.begin(), whole.begin() + size)), "") << size;
}

// Tests calls' padding from the name's tag, null and empty messages, stack traces, not implemented.
TEST(StandardMethodCodec, MatchesFlutterBytes) {
  EXPECT_EQ(encodeMethodCall({"m", 1.5}), bytes("0701 6d 06 00000000 000000000000f83f"));
  EXPECT_EQ(encodeSuccessEnvelope(2.0), bytes("00 06 000000000000 0000000000000040"));
  EXPECT_EQ(encodeMethodReply(FlutterError{"E", "m", Value()}), bytes("01 0701 45 0701 6d 00"));
  EXPECT_TRUE(encodeMethodReply(FlutterMethodNotImplemented{}).empty());
  const std::pair<const char*, Envelope> cases[] = {
      {"01 0701 45 00 0701 64", ErrorEnvelope{"E", std::nullopt, "d"}},
      {"01 0701 45 0700 00", ErrorEnvelope{"E", "", Value()}},
      {"01 0701 45 0701 6d 00 0702 7374", ErrorEnvelope{"E", "m", Value()}}};
  for (const auto& [hex, expected] : cases)
    EXPECT_EQ(decodeEnvelope(bytes(hex)).value, expected) << hex;
}

// Tests that argument keys match by canonical text, the last equal key winning.
TEST(Value, FindStringKeyComparesCanonicalText) {
  const ValueMap map{{"Caf\u00e9", 1}, {"Cafe\u0301", 2}, {3, 3}};
  EXPECT_EQ(*findStringKey(map, "Caf\u00e9"), Value(2));
}

}  // namespace
}  // namespace tovanel
