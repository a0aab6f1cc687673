#include "verbs.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>

#include "codec/standard_message_codec.h"
#include "codec/text_encodings.h"
#include "codec/value_json.h"
#include "friendly_output.h"
#include "json_reading.h"

namespace tovanel::printctl {
namespace {

using Formatter = std::function<std::optional<std::string>(const Value&)>;

int failure(const std::string& message) {
  std::fprintf(stderr, "printctl: %s\n", message.c_str());
  return kFailed;
}

// The word itself, or standard input when it is "-" or missing.
std::string inputText(const Words& words, size_t index) {
  if (index < words.size() && words[index] != "-")
    return words[index];
  return {std::istreambuf_iterator<char>(std::cin), {}};
}

// Shows a friendly verb's answer: the formatted success, or the error on stderr.
int finish(const HostAnswer& answer, const std::string& method, const Formatter& format) {
  if (answer.failureStatus != kSucceeded)
    return answer.failureStatus;
  if (answer.notImplemented) {
    std::fprintf(stderr, "printctl: the host does not offer \"%s\"\n", method.c_str());
    return kNotImplemented;
  }
  if (const auto* error = std::get_if<ErrorEnvelope>(&*answer.envelope)) {
    std::fprintf(stderr, "printctl: %s: %s\n", error->code.c_str(),
                 error->message.value_or("").c_str());
    return kFailed;
  }
  const Value& value = std::get<Value>(*answer.envelope);
  const auto text = format(value);
  std::fputs(text ? text->c_str() : (toJson(value) + "\n").c_str(), stdout);
  return kSucceeded;
}

// The friendly verbs that name one printer.
int printerVerb(const HostAddress& host, const Words& words, const char* verb,
                const std::string& method, const std::function<Formatter(std::string)>& format) {
  if (words.size() != 1)
    return usageError(std::string(verb) + " needs one printer name");
  const std::string& name = words[0];
  return finish(callHost(host, method, ValueMap{{"printerName", name}}), method, format(name));
}

std::optional<double> millimetresArgument(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<int64_t> integerArgument(const std::string& text) {
  int64_t value;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    return std::nullopt;
  return value;
}

Value integerValue(int64_t number) {
  if (number >= INT32_MIN && number <= INT32_MAX)
    return static_cast<int32_t>(number);
  return number;
}

enum class Form { value, call, reply };

// Reads an optional --call or --reply; the rest of the words stay in `words`.
std::optional<Form> takeForm(Words& words) {
  Form form = Form::value;
  Words rest;
  for (const auto& word : words) {
    if (word == "--call" || word == "--reply") {
      if (form != Form::value)
        return std::nullopt;
      form = word == "--call" ? Form::call : Form::reply;
    } else {
      rest.push_back(word);
    }
  }
  words = rest;
  return form;
}

Decoded<std::vector<uint8_t>> encodeCall(const Json& json) {
  using Result = Decoded<std::vector<uint8_t>>;
  if (!json.is_object() || !json.contains("method") || !json["method"].is_string())
    return Result::failure("a call is written {\"method\": M, \"args\": V}");
  for (const auto& [key, unused] : json.items()) {
    if (key != "method" && key != "args")
      return Result::failure("a call has only \"method\" and \"args\", not \"" + key + "\"");
  }
  Value arguments;
  if (json.contains("args")) {
    auto decoded = valueFromJson(json["args"]);
    if (!decoded)
      return Result::failure(decoded.error);
    arguments = std::move(*decoded.value);
  }
  return Result::success(
      encodeMethodCall({json["method"].get<std::string>(), std::move(arguments)}));
}

Decoded<std::vector<uint8_t>> encodeReply(const Json& json) {
  using Result = Decoded<std::vector<uint8_t>>;
  const char* shape =
      "a reply is written {\"success\": V}, {\"error\": {\"code\": C, \"message\": M, "
      "\"details\": D}} or {\"notImplemented\": true}";
  if (!json.is_object() || json.size() != 1)
    return Result::failure(shape);
  if (json.contains("notImplemented") && json["notImplemented"] == true)
    return Result::success({});
  if (json.contains("success")) {
    auto value = valueFromJson(json["success"]);
    if (!value)
      return Result::failure(value.error);
    return Result::success(encodeSuccessEnvelope(*value.value));
  }
  if (!json.contains("error") || !json["error"].is_object())
    return Result::failure(shape);
  const Json& error = json["error"];
  ErrorEnvelope envelope;
  for (const auto& [key, field] : error.items()) {
    if (key == "code" && field.is_string()) {
      envelope.code = field.get<std::string>();
    } else if (key == "message" && (field.is_string() || field.is_null())) {
      if (field.is_string())
        envelope.message = field.get<std::string>();
    } else if (key == "details") {
      auto details = valueFromJson(field);
      if (!details)
        return Result::failure(details.error);
      envelope.details = std::move(*details.value);
    } else {
      return Result::failure(
          "an error has a string \"code\", a \"message\" that is a string or "
          "null, and \"details\"; \"" +
          key + "\" does not fit");
    }
  }
  if (!error.contains("code"))
    return Result::failure("an error needs its \"code\"");
  return Result::success(encodeErrorEnvelope(envelope));
}

}  // namespace

int usageError(const std::string& message) {
  std::fprintf(stderr, "printctl: %s (printctl --help shows how to use it)\n", message.c_str());
  return kWrongUse;
}

int listVerb(const HostAddress& host, const Words& words) {
  if (!words.empty())
    return usageError("list takes no arguments");
  return finish(callHost(host, "printerlist", Value()), "printerlist", printerTable);
}

int statusVerb(const HostAddress& host, const Words& words) {
  return printerVerb(host, words, "status", "getPrinterStatus", [](std::string name) -> Formatter {
    return [name](const Value& reply) { return statusLine(name, reply); };
  });
}

int papersVerb(const HostAddress& host, const Words& words) {
  return printerVerb(host, words, "papers", "getPaperSizes", [](std::string name) -> Formatter {
    return [name](const Value& reply) { return paperTable(name, reply); };
  });
}

int setDefaultVerb(const HostAddress& host, const Words& words) {
  return printerVerb(host, words, "set-default", "setDefaultPrinter",
                     [](std::string name) -> Formatter {
                       return [name](const Value& reply) -> std::optional<std::string> {
                         if (reply != Value(true))
                           return std::nullopt;
                         return name + " is now the default printer.\n";
                       };
                     });
}

int printVerb(const HostAddress& host, const Words& words) {
  if (words.empty())
    return usageError("print needs an image file");
  std::ifstream file(words[0], std::ios::binary);
  if (!file)
    return failure("cannot read the image " + words[0]);
  Uint8List image{std::istreambuf_iterator<char>(file), {}};
  ValueMap arguments{{"imageBytes", std::move(image)}};
  for (size_t i = 1; i < words.size(); i += 2) {
    const std::string& option = words[i];
    if (i + 1 >= words.size())
      return usageError(option + " needs a value");
    const std::string& text = words[i + 1];
    if (option == "--printer") {
      arguments.emplace_back("printerName", text);
    } else if (option == "--job-name") {
      arguments.emplace_back("jobName", text);
    } else if (option == "--width" || option == "--height") {
      const auto value = millimetresArgument(text);
      if (!value)
        return usageError(option + " needs millimetres, not \"" + text + "\"");
      arguments.emplace_back(option == "--width" ? "width" : "height", *value);
    } else if (option == "--copies") {
      const auto value = integerArgument(text);
      if (!value)
        return usageError("--copies needs a whole number, not \"" + text + "\"");
      arguments.emplace_back("copies", integerValue(*value));
    } else {
      return usageError("print has no option " + option);
    }
  }
  return finish(callHost(host, "printDocument", std::move(arguments)), "printDocument",
                [](const Value& reply) -> std::optional<std::string> {
                  const auto* map = reply.getIf<ValueMap>();
                  const Value* job = map ? findStringKey(*map, "jobName") : nullptr;
                  const auto* name = job ? job->getIf<std::string>() : nullptr;
                  if (!name)
                    return std::nullopt;
                  return "Printed \"" + *name + "\".\n";
                });
}

int callVerb(const HostAddress& host, const Words& words) {
  if (words.empty() || words.size() > 2)
    return usageError("call needs a method name and at most one JSON value");
  Value arguments;
  if (words.size() == 2) {
    const auto json = parseJson(inputText(words, 1));
    if (!json)
      return failure(json.error);
    auto value = valueFromJson(*json.value);
    if (!value)
      return failure(value.error);
    arguments = std::move(*value.value);
  }
  const auto answer = callHost(host, words[0], arguments);
  if (answer.failureStatus != kSucceeded)
    return answer.failureStatus;
  if (answer.notImplemented) {
    std::printf("%s\n", kNotImplementedJson);
    return kNotImplemented;
  }
  std::printf("%s\n", envelopeToJson(*answer.envelope).c_str());
  return std::holds_alternative<Value>(*answer.envelope) ? kSucceeded : kFailed;
}

int encodeVerb(const Words& given) {
  Words words = given;
  const auto form = takeForm(words);
  if (!form || words.size() > 1)
    return usageError("encode takes --call or --reply, then one JSON value");
  const auto json = parseJson(inputText(words, 0));
  if (!json)
    return failure(json.error);
  Decoded<std::vector<uint8_t>> bytes;
  if (*form == Form::call) {
    bytes = encodeCall(*json.value);
  } else if (*form == Form::reply) {
    bytes = encodeReply(*json.value);
  } else {
    auto value = valueFromJson(*json.value);
    bytes = value ? Decoded<std::vector<uint8_t>>::success(encodeMessage(*value.value))
                  : Decoded<std::vector<uint8_t>>::failure(value.error);
  }
  if (!bytes)
    return failure(bytes.error);
  std::printf("%s\n", toHex(*bytes.value).c_str());
  return kSucceeded;
}

int decodeVerb(const Words& given) {
  Words words = given;
  const auto form = takeForm(words);
  if (!form || words.size() > 1)
    return usageError("decode takes --call or --reply, then hexadecimal bytes");
  const auto bytes = fromHex(inputText(words, 0));
  if (!bytes)
    return failure("not hexadecimal bytes: use the digits 0-9 and a-f, two for each byte");
  std::string json;
  std::string problem;
  if (*form == Form::call) {
    const auto call = decodeMethodCall(*bytes);
    if (call)
      json = "{\"method\": " + toJson(call.value->method) +
             ", \"args\": " + toJson(call.value->arguments) + "}";
    problem = call.error;
  } else if (*form == Form::reply) {
    if (bytes->empty()) {
      json = kNotImplementedJson;
    } else {
      const auto envelope = decodeEnvelope(*bytes);
      if (envelope)
        json = envelopeToJson(*envelope.value);
      problem = envelope.error;
    }
  } else {
    const auto value = decodeMessage(*bytes);
    if (value)
      json = toJson(*value.value);
    problem = value.error;
  }
  if (json.empty())
    return failure("the bytes do not decode: " + problem);
  std::printf("%s\n", json.c_str());
  return kSucceeded;
}

}  // namespace tovanel::printctl
