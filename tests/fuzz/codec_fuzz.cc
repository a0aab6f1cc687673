// The codec's decoders on arbitrary bytes: they must fail cleanly or succeed, and what
// they accept must encode to a canonical form that decodes to the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codec/standard_message_codec.h"
#include "codec/standard_method_codec.h"

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

template <typename Decode, typename Encode>
void roundTrip(std::span<const uint8_t> bytes, Decode decode, Encode encode) {
  const auto first = decode(bytes);
  if (!first) {
    check(!first.error.empty());
    return;
  }
  const auto canonical = encode(*first.value);
  const auto second = decode(canonical);
  check(static_cast<bool>(second));
  check(encode(*second.value) == canonical);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  using namespace tovanel;
  roundTrip(bytes, decodeMessage, encodeMessage);
  roundTrip(bytes, decodeMethodCall, encodeMethodCall);
  roundTrip(bytes, decodeEnvelope, [](const Envelope& envelope) {
    if (const auto* value = std::get_if<Value>(&envelope))
      return encodeSuccessEnvelope(*value);
    return encodeErrorEnvelope(std::get<ErrorEnvelope>(envelope));
  });
  return 0;
}
