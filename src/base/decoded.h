// The outcome of decoding untrusted bytes: a value, or the reason there is none.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tovanel {

template <typename T>
struct Decoded {
  std::optional<T> value;
  std::string error;  // empty when `value` is set

  static Decoded success(T v) { return Decoded{std::move(v), {}}; }
  static Decoded failure(std::string reason) { return Decoded{std::nullopt, std::move(reason)}; }
  explicit operator bool() const { return value.has_value(); }
};

}  // namespace tovanel
