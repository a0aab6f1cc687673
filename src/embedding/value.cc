#include "embedding/value.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "text/text.h"

namespace tovanel {
namespace {

template <typename List>
std::string_view bytesOf(const List& list) {
  return {reinterpret_cast<const char*>(list.data()),
          list.size() * sizeof(typename List::value_type)};
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string describeDouble(double d) {
  if (std::isnan(d))
    return "NaN";
  if (std::isinf(d))
    return d > 0 ? "Infinity" : "-Infinity";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", d);
  std::string text = buffer;
  if (text.find_first_of(".eE") == std::string::npos)
    text += ".0";
  return text;
}

template <typename List>
std::string describeList(const char* kind, const List& list) {
  std::string out = std::string(kind) + "[";
  for (size_t i = 0; i < list.size(); ++i) {
    if (i)
      out += ", ";
    if constexpr (std::is_same_v<typename List::value_type, Value>) {
      out += describe(list[i]);
    } else if constexpr (std::is_floating_point_v<typename List::value_type>) {
      out += describeDouble(list[i]);
    } else {
      out += std::to_string(list[i]);
    }
  }
  return out + "]";
}

}  // namespace

bool isTypedData(const Value& value) {
  return value.is<Uint8List>() || value.is<Int32List>() || value.is<Int64List>() ||
         value.is<Float32List>() || value.is<Float64List>();
}

std::string_view typedDataBytes(const Value& value) {
  if (const auto* list = value.getIf<Uint8List>())
    return bytesOf(*list);
  if (const auto* list = value.getIf<Int32List>())
    return bytesOf(*list);
  if (const auto* list = value.getIf<Int64List>())
    return bytesOf(*list);
  if (const auto* list = value.getIf<Float32List>())
    return bytesOf(*list);
  if (const auto* list = value.getIf<Float64List>())
    return bytesOf(*list);
  return {};
}

const Value* findStringKey(const ValueMap& map, std::string_view key) {
  for (auto entry = map.rbegin(); entry != map.rend(); ++entry) {
    const auto* text = entry->first.getIf<std::string>();
    if (text && textEquals(*text, key))
      return &entry->second;
  }
  return nullptr;
}

std::string describe(const Value& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return describeDouble(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return quoted(v);
        } else if constexpr (std::is_same_v<T, Uint8List>) {
          return "Uint8List(" + std::to_string(v.size()) + " bytes)";
        } else if constexpr (std::is_same_v<T, Int32List>) {
          return describeList("Int32List", v);
        } else if constexpr (std::is_same_v<T, Int64List>) {
          return describeList("Int64List", v);
        } else if constexpr (std::is_same_v<T, Float32List>) {
          return describeList("Float32List", v);
        } else if constexpr (std::is_same_v<T, Float64List>) {
          return describeList("Float64List", v);
        } else if constexpr (std::is_same_v<T, ValueList>) {
          return describeList("", v);
        } else {
          std::string out = "{";
          for (size_t i = 0; i < v.size(); ++i) {
            if (i)
              out += ", ";
            out += describe(v[i].first) + ": " + describe(v[i].second);
          }
          return out + "}";
        }
      },
      static_cast<const ValueVariant&>(value));
}

}  // namespace tovanel
