#include "channel/arguments.h"

#include <algorithm>
#include <cmath>

namespace tovanel {
namespace {

// 2^63: the first double past the signed 64-bit range.
constexpr double kTwoToThe63 = 9223372036854775808.0;

}  // namespace

const ValueMap* stringKeyedMap(const Value& arguments) {
  const auto* map = arguments.getIf<ValueMap>();
  if (!map)
    return nullptr;
  const bool allStrings = std::all_of(map->begin(), map->end(), [](const auto& entry) {
    return entry.first.template is<std::string>();
  });
  return allStrings ? map : nullptr;
}

std::optional<double> exactDouble(const Value& value) {
  if (const auto* d = value.getIf<double>())
    return *d;
  if (const auto* i = value.getIf<int32_t>())
    return static_cast<double>(*i);
  if (const auto* i = value.getIf<int64_t>()) {
    const auto d = static_cast<double>(*i);
    // The round trip is exact only inside the range; 2^63 itself is outside it.
    if (d < kTwoToThe63 && static_cast<int64_t>(d) == *i)
      return d;
  }
  return std::nullopt;
}

std::optional<int64_t> exactInteger(const Value& value) {
  if (const auto* i = value.getIf<int32_t>())
    return *i;
  if (const auto* i = value.getIf<int64_t>())
    return *i;
  if (const auto* d = value.getIf<double>()) {
    if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -kTwoToThe63 && *d < kTwoToThe63) {
      return static_cast<int64_t>(*d);
    }
  }
  return std::nullopt;
}

std::optional<double> doubleArgument(const ValueMap& arguments, std::string_view key) {
  const auto* value = findStringKey(arguments, key);
  return value ? exactDouble(*value) : std::nullopt;
}

std::optional<int64_t> integerArgument(const ValueMap& arguments, std::string_view key) {
  const auto* value = findStringKey(arguments, key);
  return value ? exactInteger(*value) : std::nullopt;
}

std::optional<std::string> stringArgument(const ValueMap& arguments, std::string_view key) {
  const auto* value = findStringKey(arguments, key);
  const auto* text = value ? value->getIf<std::string>() : nullptr;
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

const Value* typedDataArgument(const ValueMap& arguments, std::string_view key) {
  const auto* value = findStringKey(arguments, key);
  return value && isTypedData(*value) ? value : nullptr;
}

}  // namespace tovanel
