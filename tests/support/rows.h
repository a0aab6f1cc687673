// Tables of rules: rows with a name, each checked under a SCOPED_TRACE of its name, so that
// a failure names its row as well as the field that differs.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <string>

namespace tovanel::testing {

// A row of one input and what must come of it.
template <class In, class Out>
struct Row {
  const char* name = "";
  In in = {};
  Out expect = {};
};

// Runs `check` on every row, each under its name and the place of the table's check
// (__builtin_FILE and __builtin_LINE: clang 14 with libstdc++ 12 has no std::source_location).
template <class Rows, class Check>
void forEachRow(const Rows& rows, const Check& check, const char* file = __builtin_FILE(),
                int line = __builtin_LINE()) {
  for (const auto& row : rows) {
    const ::testing::ScopedTrace trace(file, line, row.name);
    check(row);
  }
}

// Expects `make(row.in)` to equal `row.expect` in every row.
template <class Rows, class Make>
void expectRows(const Rows& rows, const Make& make, const char* file = __builtin_FILE(),
                int line = __builtin_LINE()) {
  forEachRow(
      rows, [&make](const auto& row) { EXPECT_EQ(make(row.in), row.expect); }, file, line);
}

// The shortest text that reads back as `value`, for records that print their numbers.
inline std::string exactly(double value) {
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

}  // namespace tovanel::testing
