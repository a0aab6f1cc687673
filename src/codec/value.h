// Channel values: exactly the kinds that the standard method codec carries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tovanel {

class Value;

using ValueList = std::vector<Value>;
// Keys of any kind, in the order they were written; lookups find the last equal key,
// as a map built entry by entry would hold it.
using ValueMap = std::vector<std::pair<Value, Value>>;

using Uint8List = std::vector<uint8_t>;
using Int32List = std::vector<int32_t>;
using Int64List = std::vector<int64_t>;
using Float32List = std::vector<float>;
using Float64List = std::vector<double>;

using ValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, Uint8List, Int32List,
                 Int64List, Float32List, Float64List, ValueList, ValueMap>;

class Value : public ValueVariant {
 public:
  using ValueVariant::ValueVariant;
  using ValueVariant::operator=;

  Value() = default;
  // Keeps string literals from becoming booleans.
  Value(const char* text) : ValueVariant(std::string(text)) {}

  bool isNull() const { return std::holds_alternative<std::monostate>(*this); }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(*this);
  }
  template <typename T>
  const T* getIf() const {
    return std::get_if<T>(this);
  }
  template <typename T>
  T* getIf() {
    return std::get_if<T>(this);
  }

  friend bool operator==(const Value& a, const Value& b) {
    return static_cast<const ValueVariant&>(a) == static_cast<const ValueVariant&>(b);
  }
};

// True for the five typed-data kinds (Uint8List .. Float64List).
bool isTypedData(const Value& value);

// The raw bytes of a typed-data value in host byte order; empty for other kinds.
std::string_view typedDataBytes(const Value& value);

// The value under the string key `key` of a map, or nullptr. Key comparison follows
// the host's text equality.
const Value* findStringKey(const ValueMap& map, std::string_view key);

// One line for logs and test failures: the JSON form that printctl prints, with byte
// lists shortened to their length, e.g. {"status": "online"}.
std::string describe(const Value& value);

}  // namespace tovanel
