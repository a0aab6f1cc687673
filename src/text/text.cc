#include "text/text.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <functional>

namespace tovanel {
namespace {

// Calls `each(start, end, codePoint)` for every code point of valid UTF-8 `text`;
// stops early when `each` returns false. Returns false on malformed input.
bool forEachCodePoint(std::string_view text,
                      const std::function<bool(size_t, size_t, UChar32)>& each) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t offset = 0;
  while (offset < length) {
    const int32_t start = offset;
    UChar32 c = 0;
    U8_NEXT(bytes, offset, length, c);
    if (c < 0)
      return false;
    if (!each(static_cast<size_t>(start), static_cast<size_t>(offset), c))
      return true;
  }
  return true;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isNewline(UChar32 c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Splits at every code point for which `isSeparator` holds, each one by itself.
std::vector<std::string_view> splitAt(std::string_view text, bool (*isSeparator)(UChar32)) {
  std::vector<std::string_view> pieces;
  size_t pieceStart = 0;
  forEachCodePoint(text, [&](size_t start, size_t end, UChar32 c) {
    if (isSeparator(c)) {
      pieces.push_back(text.substr(pieceStart, start - pieceStart));
      pieceStart = end;
    }
    return true;
  });
  pieces.push_back(text.substr(pieceStart));
  return pieces;
}

bool isWhitespaceCodePoint(UChar32 c) {
  return isWhitespace(static_cast<char32_t>(c));
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX))
    return false;
  return forEachCodePoint(text, [](size_t, size_t, UChar32) { return true; });
}

bool textEquals(std::string_view a, std::string_view b) {
  if (a == b)
    return true;
  // Plain ASCII is already in normal form, so different ASCII texts are never equivalent.
  if (isAscii(a) && isAscii(b))
    return false;
  if (!isValidUtf8(a) || !isValidUtf8(b))
    return false;
  return canonicalText(a) == canonicalText(b);
}

std::string canonicalText(std::string_view text) {
  if (isAscii(text) || !isValidUtf8(text))
    return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status))
    return std::string(text);
  const auto normal = nfc->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                         text.data(), static_cast<int32_t>(text.size()))),
                                     status);
  if (U_FAILURE(status))
    return std::string(text);
  std::string canonical;
  normal.toUTF8String(canonical);
  return canonical;
}

std::string lowercase(std::string_view text) {
  if (isAscii(text)) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return lower;
  }
  auto unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  std::string lower;
  unicode.toLower(icu::Locale::getRoot()).toUTF8String(lower);
  return lower;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  return splitAt(text, isNewline);
}

bool isWhitespace(char32_t c) {
  return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

std::string_view trimWhitespace(std::string_view text) {
  size_t first = text.size();
  size_t last = 0;
  forEachCodePoint(text, [&](size_t start, size_t end, UChar32 c) {
    if (!isWhitespaceCodePoint(c)) {
      first = std::min(first, start);
      last = end;
    }
    return true;
  });
  return first < last ? text.substr(first, last - first) : std::string_view();
}

std::vector<std::string_view> splitAtWhitespace(std::string_view text) {
  return splitAt(text, isWhitespaceCodePoint);
}

}  // namespace tovanel
