#include "codec/text_encodings.h"

#include "base/hex.h"

namespace tovanel {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

std::string toHex(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 15];
  }
  return text;
}

std::optional<std::vector<uint8_t>> fromHex(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    if (isSpace(c))
      continue;
    const int value = hexDigitValue(c);
    if (value < 0)
      return std::nullopt;
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  if (high >= 0)
    return std::nullopt;
  return bytes;
}

std::string toBase64(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group =
        bytes[i] << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
    text += kBase64Alphabet[group >> 18 & 63];
    text += kBase64Alphabet[group >> 12 & 63];
    text += left > 1 ? kBase64Alphabet[group >> 6 & 63] : '=';
    text += left > 2 ? kBase64Alphabet[group & 63] : '=';
  }
  return text;
}

std::optional<std::vector<uint8_t>> fromBase64(std::string_view text) {
  if (text.size() % 4 != 0)
    return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (padding == 1 && text[i + 2] == '=')
      return std::nullopt;
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const int value = j >= 4 - padding ? 0 : base64Value(text[i + j]);
      if (value < 0)
        return std::nullopt;
      group = group << 6 | static_cast<uint32_t>(value);
    }
    bytes.push_back(static_cast<uint8_t>(group >> 16));
    if (padding < 2)
      bytes.push_back(static_cast<uint8_t>(group >> 8));
    if (padding < 1)
      bytes.push_back(static_cast<uint8_t>(group));
  }
  return bytes;
}

}  // namespace tovanel
