// Unicode rules shared by the whole host: text equality, lower-casing, and the line
// and whitespace classes that tool-output parsers use. Input is UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovanel {

// True when every byte sequence of `text` is well-formed UTF-8 (no overlongs, no
// surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view text);

// Exact, case-sensitive equality under which canonically equivalent forms are equal
// ("é" precomposed equals "e" + combining acute). Text that is not valid UTF-8 is
// equal only to the very same bytes.
bool textEquals(std::string_view a, std::string_view b);

// The canonical composed form (NFC) of `text`, so that two texts are equal under
// textEquals exactly when their canonical forms are the same bytes. Text that is not
// valid UTF-8 comes back unchanged.
std::string canonicalText(std::string_view text);

// Full Unicode lower-casing, independent of any locale.
std::string lowercase(std::string_view text);

// Splits at each of U+000A, U+000B, U+000C, U+000D, U+0085, U+2028, U+2029, every
// character by itself: "a\r\nb" gives "a", "", "b", and a final newline gives a final
// empty line. The views point into `text`.
std::vector<std::string_view> splitLines(std::string_view text);

// Tab or a Unicode space separator (general category Zs). Newlines are not whitespace.
bool isWhitespace(char32_t c);

// `text` without whitespace at either end.
std::string_view trimWhitespace(std::string_view text);

// Splits at every whitespace character, each by itself, so a run of two gives an empty
// piece between them. The views point into `text`.
std::vector<std::string_view> splitAtWhitespace(std::string_view text);

}  // namespace tovanel
