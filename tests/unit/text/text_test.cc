// The text rules that names and tool output are read by.
#include "text/text.h"

#include <gtest/gtest.h>

#include "support/rows.h"

namespace tovanel {
namespace {

using Pieces = std::vector<std::string_view>;

// Tests that seven newlines end lines, blanks split words, lower case maps, bad UTF-8 fails.
TEST(Text, SplitsAtEachNewlineAndWhitespaceAndValidatesUtf8) {
  EXPECT_EQ(splitLines("a\r\nb\vc\fd\u0085e\u2028f\u2029g\n"),
            (Pieces{"a", "", "b", "c", "d", "e", "f", "g", ""}));
  EXPECT_EQ(splitAtWhitespace("A4\t\u00a0B5\u3000\u200bC6\n"),
            (Pieces{"A4", "", "B5", "\u200bC6\n"}));
  EXPECT_EQ(trimWhitespace("\t\u202f Office Laser\n\u3000"), "Office Laser\n");
  EXPECT_EQ(lowercase("@AZ[w288H432"), "@az[w288h432");
  EXPECT_EQ(lowercase("\u00c9TIQUETTE \u0130"), "\u00e9tiquette i\u0307");
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
