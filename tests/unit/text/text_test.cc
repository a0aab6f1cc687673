// The text rules that names and tool output are read by.
#include "text/text.h"

#include <gtest/gtest.h>

#include "support/rows.h"

namespace tovanel {
namespace {

using Pieces = std::vector<std::string_view>;

// Tests equality by canonical form, not case or compatibility, and ASCII and Unicode lower-casing.
TEST(Text, EqualityIsCanonicalEquivalenceAndLowercase) {
  const struct {
    const char *name = "", *a = "", *b = "";
    bool equal = false;
  } rows[] = {{.name = "composed and not", .a = "Caf\u00e9", .b = "Cafe\u0301", .equal = true},
              {.name = "Angstrom sign and letter", .a = "\u212b", .b = "\u00c5", .equal = true},
              {.name = "the same bytes, not UTF-8", .a = "\xff", .b = "\xff", .equal = true},
              {.name = "case", .a = "Caf\u00e9", .b = "Caf\u00c9"},
              {.name = "a compatibility ligature", .a = "\ufb01", .b = "fi"},
              {.name = "ASCII case", .a = "Laser", .b = "laser"}};
  testing::forEachRow(rows, [](const auto& row) {
    EXPECT_EQ(textEquals(row.a, row.b), row.equal);
    EXPECT_EQ(canonicalText(row.a) == canonicalText(row.b), row.equal);
  });
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
  const testing::Row<const char*, bool> rows[] = {
      {.name = "two, three and four bytes", .in = "\u00e9\u2028\U0001F5A8", .expect = true},
      {.name = "cut short", .in = "\xc3"},
      {.name = "overlong", .in = "\xc0\xaf"},
      {.name = "a surrogate", .in = "\xed\xa0\x80"},
      {.name = "past U+10FFFF", .in = "\xf4\x90\x80\x80"}};
  testing::expectRows(rows, isValidUtf8);
}

}  // namespace
}  // namespace tovanel
