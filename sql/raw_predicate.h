// Tests a table scan makes on a row's stored bytes before decoding it. Each
// test stands for one conjunct of the scan's filter and rejects only rows for
// which that conjunct is certainly False or Null, so a rejected row could
// never pass the filter and is skipped without building a single value; a
// row that is not rejected is decoded and the whole filter evaluated as
// before. Whenever the bytes alone cannot settle it (a character that is not
// ASCII, a long value, a calculated column), the test lets the row through.
//
// The one test so far: "text column Like pattern" where the pattern starts
// with literal ASCII characters. Every text the pattern matches starts with
// those characters (compared the way LikePattern compares them, without
// regard to case), so a stored text whose first characters are ASCII and
// differ, or that is shorter, fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/bytes.h"
#include "jet/format.h"
#include "jet/tabledef.h"
#include "sql/expr.h"

namespace sql {

// The leading characters every text matched by pattern must start with, as
// case-folded ASCII (foldCase of each), stopping at the first wildcard, set
// or character that is not ASCII. Empty when the pattern starts otherwise.
std::string likeLiteralPrefix(std::string_view pattern);

// False when the stored text (the column's bytes as the row holds them: Jet 4
// UCS-2, plain or compressed, or Jet 3 code-page bytes) certainly does not
// start with foldedPrefix (from likeLiteralPrefix); true when it does or when
// its bytes cannot tell (a character before the prefix's end that is not
// ASCII).
bool storedTextMayStartWith(jet::ByteView stored, bool jet3, std::string_view foldedPrefix);

class RawFilter {
 public:
  // The tests that fit the conjuncts of filter (bound to the rows of def's
  // table, one slot per column); null when none fits. fmt and def must
  // outlive the filter.
  static std::shared_ptr<const RawFilter> make(const jet::Format& fmt, const jet::TableDef& def,
                                               const BExpr* filter);
  // False: the row fails the filter. row: the row's bytes (overflow
  // pointers followed), of the table make was given.
  bool mayPass(jet::ByteView row) const;

 private:
  struct TextPrefix {
    size_t column;
    std::string folded;
  };
  RawFilter(const jet::Format& fmt, const jet::TableDef& def) : fmt_(fmt), def_(def) {}
  const jet::Format& fmt_;
  const jet::TableDef& def_;
  std::vector<TextPrefix> prefixes_;
};

}  // namespace sql
