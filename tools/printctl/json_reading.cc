#include "json_reading.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "codec/text_encodings.h"

namespace tovanel::printctl {
namespace {

using Result = Decoded<Value>;

// Looks at every number as written; the parser itself would turn an integer too large
// for 64 bits into a double without a word.
class IntegerRangeCheck : public nlohmann::json_sax<Json> {
 public:
  std::string problem;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t value) override {
    if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return true;
    return refuse(std::to_string(value));
  }
  bool number_float(number_float_t, const string_t& text) override {
    if (text.find_first_of(".eE") != string_t::npos)
      return true;
    return refuse(text);
  }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    problem = error.what();
    // "[json.exception.parse_error.101] parse error at ..." reads better without its tag.
    if (const auto end = problem.find("] ");
        problem.starts_with("[json.") && end != std::string::npos)
      problem.erase(0, end + 2);
    problem = "invalid JSON: " + problem;
    return false;
  }

 private:
  bool refuse(const std::string& text) {
    problem = "the integer " + text +
              " is outside the 64-bit range (write it with a fraction or "
              "exponent for a double)";
    return false;
  }
};

Value integerValue(int64_t number) {
  if (number >= std::numeric_limits<int32_t>::min() &&
      number <= std::numeric_limits<int32_t>::max())
    return static_cast<int32_t>(number);
  return number;
}

std::optional<int64_t> jsonInteger(const Json& json) {
  if (json.is_number_integer() && json.is_number_unsigned()) {
    const auto value = json.get<uint64_t>();
    if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return static_cast<int64_t>(value);
    return std::nullopt;
  }
  if (json.is_number_integer())
    return json.get<int64_t>();
  return std::nullopt;
}

std::optional<double> specialDouble(const Json& json) {
  if (!json.is_string())
    return std::nullopt;
  const auto& text = json.get_ref<const std::string&>();
  if (text == "NaN")
    return std::numeric_limits<double>::quiet_NaN();
  if (text == "Infinity")
    return std::numeric_limits<double>::infinity();
  if (text == "-Infinity")
    return -std::numeric_limits<double>::infinity();
  return std::nullopt;
}

// A number, or a {"$double": ...} object, as a double.
std::optional<double> jsonDouble(const Json& json) {
  if (json.is_number_float())
    return json.get<double>();
  if (const auto integer = jsonInteger(json))
    return static_cast<double>(*integer);
  if (json.is_object() && json.size() == 1 && json.contains("$double"))
    return specialDouble(json["$double"]);
  return std::nullopt;
}

template <typename T>
Result numberList(const Json& elements, const std::string& kind) {
  if (!elements.is_array())
    return Result::failure("\"" + kind + "\" needs an array of numbers");
  std::vector<T> list;
  list.reserve(elements.size());
  for (const Json& element : elements) {
    if constexpr (std::is_integral_v<T>) {
      const auto integer = jsonInteger(element);
      if (!integer || *integer < std::numeric_limits<T>::min() ||
          *integer > std::numeric_limits<T>::max()) {
        return Result::failure("\"" + kind + "\" holds " + element.dump() +
                               ", which is not an integer of that size");
      }
      list.push_back(static_cast<T>(*integer));
    } else {
      const auto number = jsonDouble(element);
      if (!number)
        return Result::failure("\"" + kind + "\" holds " + element.dump() + ", which is no number");
      if (std::isfinite(*number) && std::abs(*number) > std::numeric_limits<T>::max())
        return Result::failure("\"" + kind + "\" holds " + element.dump() + ", too large for it");
      list.push_back(static_cast<T>(*number));
    }
  }
  return Result::success(std::move(list));
}

Result fileBytes(const Json& path) {
  if (!path.is_string())
    return Result::failure("\"$file\" needs a path");
  const auto& name = path.get_ref<const std::string&>();
  std::ifstream file(name, std::ios::binary);
  if (!file)
    return Result::failure("cannot read the file " + name);
  Uint8List bytes{std::istreambuf_iterator<char>(file), {}};
  if (file.bad())
    return Result::failure("cannot read the file " + name);
  return Result::success(std::move(bytes));
}

Result anyKeyMap(const Json& entries) {
  if (!entries.is_array())
    return Result::failure("\"$map\" needs an array of [key, value] pairs");
  ValueMap map;
  for (const Json& entry : entries) {
    if (!entry.is_array() || entry.size() != 2)
      return Result::failure("\"$map\" holds " + entry.dump() + ", which is no [key, value] pair");
    auto key = valueFromJson(entry[0]);
    if (!key)
      return key;
    auto value = valueFromJson(entry[1]);
    if (!value)
      return value;
    map.emplace_back(std::move(*key.value), std::move(*value.value));
  }
  return Result::success(std::move(map));
}

Result specialObject(const std::string& kind, const Json& content) {
  if (kind == "$bytes") {
    auto bytes =
        content.is_string() ? fromBase64(content.get_ref<const std::string&>()) : std::nullopt;
    if (!bytes)
      return Result::failure("\"$bytes\" needs padded base64 text");
    return Result::success(std::move(*bytes));
  }
  if (kind == "$file")
    return fileBytes(content);
  if (kind == "$int32")
    return numberList<int32_t>(content, kind);
  if (kind == "$int64")
    return numberList<int64_t>(content, kind);
  if (kind == "$float32")
    return numberList<float>(content, kind);
  if (kind == "$float64")
    return numberList<double>(content, kind);
  if (kind == "$map")
    return anyKeyMap(content);
  if (kind == "$double") {
    const auto number = specialDouble(content);
    if (!number)
      return Result::failure("\"$double\" is one of \"NaN\", \"Infinity\", \"-Infinity\"");
    return Result::success(*number);
  }
  return Result::failure("unknown object \"" + kind + "\" (a map with that one key is written " +
                         "{\"$map\": [[\"" + kind + "\", ...]]})");
}

}  // namespace

Decoded<Json> parseJson(std::string_view text) {
  IntegerRangeCheck check;
  if (!Json::sax_parse(text, &check))
    return Decoded<Json>::failure(check.problem.empty() ? "invalid JSON" : check.problem);
  return Decoded<Json>::success(Json::parse(text));
}

Result valueFromJson(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return Result::success(Value());
    case Json::value_t::boolean:
      return Result::success(json.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      const auto integer = jsonInteger(json);
      if (!integer)
        return Result::failure("the integer " + json.dump() + " is outside the 64-bit range");
      return Result::success(integerValue(*integer));
    }
    case Json::value_t::number_float:
      return Result::success(json.get<double>());
    case Json::value_t::string:
      return Result::success(json.get<std::string>());
    case Json::value_t::array: {
      ValueList list;
      list.reserve(json.size());
      for (const Json& element : json) {
        auto value = valueFromJson(element);
        if (!value)
          return value;
        list.push_back(std::move(*value.value));
      }
      return Result::success(std::move(list));
    }
    case Json::value_t::object: {
      if (json.size() == 1 && json.begin().key().starts_with("$"))
        return specialObject(json.begin().key(), json.begin().value());
      ValueMap map;
      map.reserve(json.size());
      for (const auto& [key, element] : json.items()) {
        auto value = valueFromJson(element);
        if (!value)
          return value;
        map.emplace_back(key, std::move(*value.value));
      }
      return Result::success(std::move(map));
    }
    default:
      return Result::failure("a JSON value of an unsupported kind");
  }
}

}  // namespace tovanel::printctl
