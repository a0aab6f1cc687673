#include "codec/value.h"

#include "codec/value_json.h"
#include "text/text.h"

namespace tovanel {
namespace {

template <typename List>
std::string_view bytesOf(const List& list) {
  return {reinterpret_cast<const char*>(list.data()),
          list.size() * sizeof(typename List::value_type)};
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
  return toJson(value, BytesInJson::lengthOnly);
}

}  // namespace tovanel
