#include "codec/standard_method_codec.h"

#include "codec/codec_buffer.h"
#include "codec/standard_message_codec.h"

namespace tovanel {
namespace {

constexpr uint8_t kSuccess = 0;
constexpr uint8_t kError = 1;

// Writes the parts of an envelope or call as one message.
template <typename Write>
std::vector<uint8_t> encodeParts(const Write& write) {
  std::vector<uint8_t> bytes;
  CodecWriter writer(bytes);
  write(writer);
  writer.finish();
  return bytes;
}

Value optionalString(const std::optional<std::string>& text) {
  return text ? Value(*text) : Value();
}

}  // namespace

std::vector<uint8_t> encodeMethodCall(const MethodCall& call) {
  return encodeParts([&call](CodecWriter& writer) {
    writeValue(writer, Value(call.method));
    writeValue(writer, call.arguments);
  });
}

Decoded<MethodCall> decodeMethodCall(std::span<const uint8_t> bytes) {
  CodecReader reader(bytes);
  Value method;
  MethodCall call;
  if (readValue(reader, method) && !method.is<std::string>())
    reader.fail("the method name is not a string", 0);
  if (!reader.failed() && readValue(reader, call.arguments) && !reader.atEnd())
    reader.fail(std::to_string(reader.remaining()) + " bytes left over after the arguments");
  if (reader.failed())
    return Decoded<MethodCall>::failure(reader.error());
  call.method = std::move(*method.getIf<std::string>());
  return Decoded<MethodCall>::success(std::move(call));
}

std::vector<uint8_t> encodeSuccessEnvelope(const Value& result) {
  return encodeParts([&result](CodecWriter& writer) {
    writer.writeByte(kSuccess);
    writeValue(writer, result);
  });
}

std::vector<uint8_t> encodeErrorEnvelope(const ErrorEnvelope& error) {
  const Value code = error.code;
  const Value message = optionalString(error.message);
  return encodeParts([&](CodecWriter& writer) {
    writer.writeByte(kError);
    writeValue(writer, code);
    writeValue(writer, message);
    writeValue(writer, error.details);
  });
}

std::vector<uint8_t> encodeMethodReply(const MethodReply& reply) {
  if (const auto* value = std::get_if<Value>(&reply))
    return encodeSuccessEnvelope(*value);
  if (const auto* error = std::get_if<FlutterError>(&reply))
    return encodeErrorEnvelope(ErrorEnvelope{error->code, error->message, error->details});
  return {};
}

Decoded<Envelope> decodeEnvelope(std::span<const uint8_t> bytes) {
  CodecReader reader(bytes);
  uint8_t kind;
  if (!reader.readByte(kind, "the envelope's first byte"))
    return Decoded<Envelope>::failure(reader.error());
  if (kind == kSuccess) {
    Value result;
    if (readValue(reader, result) && !reader.atEnd())
      reader.fail(std::to_string(reader.remaining()) + " bytes left over after the result");
    if (reader.failed())
      return Decoded<Envelope>::failure(reader.error());
    return Decoded<Envelope>::success(std::move(result));
  }
  if (kind != kError) {
    reader.fail("an envelope starts with 0 or 1, not " + std::to_string(kind), 0);
    return Decoded<Envelope>::failure(reader.error());
  }
  Value code;
  Value message;
  ErrorEnvelope error;
  const size_t codeAt = reader.position();
  if (readValue(reader, code) && !code.is<std::string>())
    reader.fail("the error code is not a string", codeAt);
  const size_t messageAt = reader.position();
  if (!reader.failed() && readValue(reader, message) && !message.isNull() &&
      !message.is<std::string>()) {
    reader.fail("the error message is neither a string nor null", messageAt);
  }
  if (!reader.failed())
    readValue(reader, error.details);
  if (!reader.failed() && !reader.atEnd()) {
    const size_t traceAt = reader.position();
    Value stackTrace;
    if (readValue(reader, stackTrace) && !stackTrace.isNull() && !stackTrace.is<std::string>())
      reader.fail("the error's stack trace is neither a string nor null", traceAt);
    if (!reader.failed() && !reader.atEnd())
      reader.fail(std::to_string(reader.remaining()) + " bytes left over after the error");
  }
  if (reader.failed())
    return Decoded<Envelope>::failure(reader.error());
  error.code = std::move(*code.getIf<std::string>());
  if (const auto* text = message.getIf<std::string>())
    error.message = std::move(*text);
  return Decoded<Envelope>::success(std::move(error));
}

}  // namespace tovanel
