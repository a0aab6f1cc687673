// The text rules that names and tool output are read by.
#include "text/text.h"

#include <gtest/gtest.h>

namespace tovanel {
namespace {

using Pieces = std::vector<std::string_view>;

// Tests equality by canonical form, not case or compatibility, and ASCII and Unicode lower-casing.
TEST(Text, EqualityIsCanonicalEquivalenceAndLowercase) {
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"Caf\u00e9", "Cafe\u0301", true}, {"\u212b", "\u00c5", true}, {"\xff", "\xff", true},
      {"Caf\u00e9", "Caf\u00c9", false}, {"\ufb01", "fi", false},    {"Laser", "laser", false}};
  for (const auto& [a, b, equal] : cases)
    EXPECT_TRUE(textEquals(a, b) == equal && (canonicalText(a) == canonicalText(b)) == equal)
        << a << " vs " << b;
  EXPECT_EQ(lowercase("@AZ[w288H432"), "@az[w288h432");
  EXPECT_EQ(lowercase("\u00c9TIQUETTE \u0130"), "\u00e9tiquette i\u0307");
}

// Tests that seven newlines end lines, tab and space separators split words, and bad UTF-8 fails.
TEST(Text, SplitsAtEachNewlineAndWhitespaceAndValidatesUtf8) {
  EXPECT_EQ(splitLines("a\r\nb\vc\fd\u0085e\u2028f\u2029g\n"),
            (Pieces{"a", "", "b", "c", "d", "e", "f", "g", ""}));
  EXPECT_EQ(splitAtWhitespace("A4\t\u00a0B5\u3000\u200bC6\n"),
            (Pieces{"A4", "", "B5", "\u200bC6\n"}));
  EXPECT_EQ(trimWhitespace("\t\u202f Office Laser\n\u3000"), "Office Laser\n");
  EXPECT_TRUE(isValidUtf8("\u00e9\u2028\U0001F5A8"));
  for (const char* bad : {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

}  // namespace
}  // namespace tovanel
