// The codec's decoders on any bytes: each fails with a reason or succeeds, and what it accepts
// encodes to a canonical form that decodes, and encodes again, to the same bytes.
#include "codec/standard_message_codec.h"
#include "codec/standard_method_codec.h"

using namespace tovanel;

static void roundTrip(std::span<const uint8_t> bytes, auto decode, auto encode) {
  const auto first = decode(bytes);
  const auto canonical = first ? encode(*first.value) : std::vector<uint8_t>();
  const auto second = decode(canonical);
  if (first ? !second || encode(*second.value) != canonical : first.error.empty())
    __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  roundTrip({data, size}, decodeMessage, encodeMessage);
  roundTrip({data, size}, decodeMethodCall, encodeMethodCall);
  roundTrip({data, size}, decodeEnvelope, [](const Envelope& envelope) {
    return envelope.index() ? encodeErrorEnvelope(std::get<1>(envelope))
                            : encodeSuccessEnvelope(std::get<0>(envelope));
  });
  return 0;
}
