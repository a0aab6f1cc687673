#include "codec/value_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <type_traits>

#include "codec/text_encodings.h"

namespace tovanel {
namespace {

// `text` as a JSON string literal.
std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Shortest round-trip text, marked as a floating-point number.
template <typename Float>
std::string floatText(Float number) {
  if (std::isnan(number))
    return "{\"$double\": \"NaN\"}";
  if (std::isinf(number))
    return number > 0 ? "{\"$double\": \"Infinity\"}" : "{\"$double\": \"-Infinity\"}";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".e") == std::string::npos)
    text += ".0";
  return text;
}

template <typename List>
std::string numberArray(const char* kind, const List& list) {
  std::string out = std::string("{\"") + kind + "\": [";
  for (size_t i = 0; i < list.size(); ++i) {
    if (i)
      out += ", ";
    if constexpr (std::is_floating_point_v<typename List::value_type>)
      out += floatText(list[i]);
    else
      out += std::to_string(list[i]);
  }
  return out + "]}";
}

// A JSON object holds only distinct string keys, and a lone "$" key would read back as
// one of the special objects.
bool plainObjectFits(const ValueMap& map) {
  std::set<std::string_view> seen;
  for (const auto& [key, value] : map) {
    const auto* text = key.getIf<std::string>();
    if (!text || !seen.insert(*text).second)
      return false;
  }
  return !(map.size() == 1 && map.front().first.getIf<std::string>()->starts_with("$"));
}

std::string mapJson(const ValueMap& map, BytesInJson bytes) {
  std::string out;
  if (plainObjectFits(map)) {
    out = "{";
    for (size_t i = 0; i < map.size(); ++i) {
      if (i)
        out += ", ";
      out += jsonQuoted(*map[i].first.getIf<std::string>()) + ": " + toJson(map[i].second, bytes);
    }
    return out + "}";
  }
  out = "{\"$map\": [";
  for (size_t i = 0; i < map.size(); ++i) {
    if (i)
      out += ", ";
    out += "[" + toJson(map[i].first, bytes) + ", " + toJson(map[i].second, bytes) + "]";
  }
  return out + "]}";
}

}  // namespace

std::string toJson(const Value& value, BytesInJson bytes) {
  return std::visit(
      [bytes](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return floatText(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return jsonQuoted(v);
        } else if constexpr (std::is_same_v<T, Uint8List>) {
          if (bytes == BytesInJson::lengthOnly)
            return "{\"$bytes\": \"(" + std::to_string(v.size()) + " bytes)\"}";
          return "{\"$bytes\": \"" + toBase64(v) + "\"}";
        } else if constexpr (std::is_same_v<T, Int32List>) {
          return numberArray("$int32", v);
        } else if constexpr (std::is_same_v<T, Int64List>) {
          return numberArray("$int64", v);
        } else if constexpr (std::is_same_v<T, Float32List>) {
          return numberArray("$float32", v);
        } else if constexpr (std::is_same_v<T, Float64List>) {
          return numberArray("$float64", v);
        } else if constexpr (std::is_same_v<T, ValueList>) {
          std::string out = "[";
          for (size_t i = 0; i < v.size(); ++i) {
            if (i)
              out += ", ";
            out += toJson(v[i], bytes);
          }
          return out + "]";
        } else {
          return mapJson(v, bytes);
        }
      },
      static_cast<const ValueVariant&>(value));
}

std::string envelopeToJson(const Envelope& envelope) {
  if (const auto* value = std::get_if<Value>(&envelope))
    return "{\"success\": " + toJson(*value) + "}";
  const auto& error = std::get<ErrorEnvelope>(envelope);
  return "{\"error\": {\"code\": " + jsonQuoted(error.code) +
         ", \"message\": " + (error.message ? jsonQuoted(*error.message) : std::string("null")) +
         ", \"details\": " + toJson(error.details) + "}}";
}

}  // namespace tovanel
