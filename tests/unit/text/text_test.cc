// The text rules: canonical equality, lower case, UTF-8, lines and whitespace.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovanel {
namespace {

// Tests that equality, and the canonical form that keys maps, are exact but for canonical
// equivalence.
TEST(Text, EqualityIsExactUpToCanonicalEquivalence) {
  const struct {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"Office Laser", "Office Laser", true},
      {"Office Laser", "office laser", false},
      {"Office Laser", "Office Laser ", false},
      {"Caf\u00e9", "Cafe\u0301", true},  // precomposed vs combining acute
      {"\u212b", "\u00c5", true},         // Angstrom sign vs A with ring
      {"\u212a", "K", true},              // Kelvin sign is K
      {"Caf\u00e9", "Caf\u00c9", false},  // case still counts
      {"\ufb01", "fi", false},            // compatibility forms are not equal
      {"\xff", "\xff", true},             // same invalid bytes
      {std::string("a\0b", 3), "a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(textEquals(c.a, c.b), c.equal) << c.a << " vs " << c.b;
    EXPECT_EQ(textEquals(c.b, c.a), c.equal) << c.b << " vs " << c.a;
    EXPECT_EQ(canonicalText(c.a) == canonicalText(c.b), c.equal) << c.a << " vs " << c.b;
  }
}

// Tests Unicode lower-casing, the same in every locale.
TEST(Text, LowercaseFollowsUnicode) {
  EXPECT_EQ(lowercase("W288H432"), "w288h432");
  EXPECT_EQ(lowercase("\u00c9TIQUETTE"), "\u00e9tiquette");
  EXPECT_EQ(lowercase("\u0130"), "i\u0307");  // dotted capital I, locale-independent
}

// Tests that truncated, overlong, surrogate and out-of-range sequences are not UTF-8.
TEST(Text, ValidUtf8) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("plain"));
  EXPECT_TRUE(isValidUtf8("\u00e9\u2028\U0001F5A8"));
  EXPECT_FALSE(isValidUtf8("\xc3"));              // truncated
  EXPECT_FALSE(isValidUtf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(isValidUtf8("ok\xff"));
}

using Pieces = std::vector<std::string_view>;

// Tests that each of the seven newline characters ends a line by itself.
TEST(Text, SplitLinesAtEachNewlineCharacter) {
  const struct {
    std::string text;
    Pieces lines;
  } cases[] = {
      {"", {""}},
      {"a", {"a"}},
      {"a\n", {"a", ""}},
      {"a\r\nb", {"a", "", "b"}},
      {"a\vb\fc\rd", {"a", "b", "c", "d"}},
      {"a\u0085b\u2028c\u2029d", {"a", "b", "c", "d"}},
      {"a\n\nb", {"a", "", "b"}},
      {"tab\tstays", {"tab\tstays"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(splitLines(c.text), c.lines) << c.text;
}

// Tests that whitespace is tab plus the space separators, nothing else.
TEST(Text, WhitespaceIsTabAndSpaceSeparators) {
  for (char32_t c :
       {U'\t', U' ', U'\u00a0', U'\u1680', U'\u2000', U'\u200a', U'\u202f', U'\u205f', U'\u3000'}) {
    EXPECT_TRUE(isWhitespace(c)) << static_cast<uint32_t>(c);
  }
  for (char32_t c :
       {U'\n', U'\r', U'\v', U'\f', U'\u0085', U'\u2028', U'\u200b', U'x', U'\u180e'}) {
    EXPECT_FALSE(isWhitespace(c)) << static_cast<uint32_t>(c);
  }
}

// Tests that trimming and splitting use exactly that whitespace.
TEST(Text, TrimAndSplitUseThatWhitespace) {
  EXPECT_EQ(trimWhitespace(" \t\u00a0Office Laser\u3000 "), "Office Laser");
  EXPECT_EQ(trimWhitespace("\nkeep\n"), "\nkeep\n");
  EXPECT_EQ(trimWhitespace(" \t "), "");
  EXPECT_EQ(splitAtWhitespace("A4  Letter\t\u00a0w288h432"),
            (Pieces{"A4", "", "Letter", "", "w288h432"}));
  EXPECT_EQ(splitAtWhitespace(""), (Pieces{""}));
}

}  // namespace
}  // namespace tovanel
