// Tables of rules: rows with a name, each checked under SCOPED_TRACE(row.name), so that a
// failure names its row as well as the field that differs.
#pragma once

#include <gtest/gtest.h>

namespace tovanel::testing {

// A row of one input and what must come of it.
template <class In, class Out>
struct Row {
  const char* name = "";
  In in = {};
  Out expect = {};
};

// Runs `check` on every row, each under its name.
template <class Rows, class Check>
void forEachRow(const Rows& rows, const Check& check) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    check(row);
  }
}

// Expects `make(row.in)` to equal `row.expect` in every row.
template <class Rows, class Make>
void expectRows(const Rows& rows, const Make& make) {
  forEachRow(rows, [&make](const auto& row) { EXPECT_EQ(make(row.in), row.expect); });
}

}  // namespace tovanel::testing
