// JSON to channel values. null, booleans and strings map directly; a number written
// without fraction or exponent is an integer (int32 where it fits, else int64, and
// outside int64 an error), any other number a double; arrays are lists and objects
// string-keyed maps. One-key objects stand for the rest:
//   {"$bytes": "<base64>"}, {"$file": "path"}        Uint8List
//   {"$int32": [...]}, {"$int64": [...]}              Int32List, Int64List
//   {"$float32": [...]}, {"$float64": [...]}          Float32List, Float64List
//   {"$map": [[key, value], ...]}                      a map with keys of any kind
//   {"$double": "NaN" | "Infinity" | "-Infinity"}      a double JSON cannot write
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "base/decoded.h"
#include "codec/value.h"

namespace tovanel::printctl {

using Json = nlohmann::ordered_json;

// Parses JSON text, refusing integers that no 64-bit integer holds.
Decoded<Json> parseJson(std::string_view text);

// The channel value that `json` stands for; "$file" objects read their file.
Decoded<Value> valueFromJson(const Json& json);

}  // namespace tovanel::printctl
