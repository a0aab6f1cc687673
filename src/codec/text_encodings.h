// Text forms of bytes: hexadecimal for codec dumps, base64 for typed data in JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// Lower case, no separators.
std::string toHex(std::span<const uint8_t> bytes);
// Either case; whitespace anywhere is ignored. Nothing for other characters or an odd
// number of digits.
std::optional<std::vector<uint8_t>> fromHex(std::string_view text);

// Standard alphabet with padding.
std::string toBase64(std::span<const uint8_t> bytes);
// Standard alphabet, padded to a multiple of four; nothing for anything else.
std::optional<std::vector<uint8_t>> fromBase64(std::string_view text);

}  // namespace tovanel
