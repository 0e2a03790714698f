// Pull executor: operators that hand out rows one at a time. Rows are
// vectors of values; a row read from a table also carries its RowId so that
// results drawn from one table can be written back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/index.h"
#include "jet/table.h"
#include "sql/aggregates.h"
#include "sql/expr.h"

namespace sql {

struct Row {
  std::vector<jet::Value> v;
  jet::RowId rid;
};

class Op {
 public:
  virtual ~Op() = default;
  // (Re)starts the operator. outer: rows of enclosing queries (correlated
  // subqueries), may be null.
  virtual void open(const Frame* outer) = 0;
  // Next row; false at the end.
  virtual bool next(Row& out) = 0;
  size_t width = 0;
};
using OpP = std::unique_ptr<Op>;

// A key range on an index, for lookups and range scans.
struct IndexRange {
  int realIndex = -1;
  std::vector<jet::Value> equal;  // values for the index's leading columns
  std::optional<jet::Value> low, high;  // range on the next column (ascending only)
  // Several lookups instead (Field In (...)): each is the values of the
  // index's leading columns; equal, low and high are then unused.
  std::vector<std::vector<jet::Value>> seeks;
};

// Rows of a base table in physical order, or through an index. filter is
// checked on every row (the index only narrows the rows read).
// used: the columns anything reads (filled in by the planner before the scan
// runs); the others are left Null and never decoded. Null means all.
// Rows are first tested on their stored bytes where the filter allows it
// (sql/raw_predicate.h), then the columns the filter reads are decoded and
// the filter checked, and the other used columns decoded only for rows that
// pass.
OpP makeTableScan(jet::Database& db, std::shared_ptr<const jet::TableDef> def, BExprP filter,
                  std::optional<IndexRange> range, std::shared_ptr<std::vector<bool>> used = nullptr);
// Rows of def may be read with jet::peekRow (without holding their page)
// when decoding the columns used marks (all when null) asks the pager for no
// other page and so does the test made on them (filterKnown: a test whose
// row reads are all known, or none).
bool rowsMayBePeeked(const jet::TableDef& def, const std::vector<bool>* used, bool filterKnown);
// The child's rows with one more column: the RowId the child gave the row,
// packed (RowId::packed) as a Big Integer.
OpP makeAppendRowId(OpP child);
// One row with no columns (SELECT without FROM).
OpP makeSingleRow();
OpP makeFilter(OpP child, BExprP pred);
// Evaluates exprs against each row. keepRid: pass the child's RowId through.
OpP makeProject(OpP child, std::vector<BExprP> exprs, bool keepRid);

enum class JoinKind { Inner, Left, Right };
// Nested loops over a materialised right side; on may be null (cross join).
OpP makeNestedLoopJoin(OpP left, OpP right, BExprP on, JoinKind kind);
// Equality join on key expressions (bound to the left and right rows
// respectively); residual is checked on the joined row.
OpP makeHashJoin(OpP left, OpP right, std::vector<BExprP> leftKeys, std::vector<BExprP> rightKeys, BExprP residual,
                 JoinKind kind, const Collation& coll);

// Index nested-loop join (inner or left) of a small left input with a base
// table: leftKey (on the left row) is looked up in the table's real index
// realIndex, whose first column is the joined column (integral keys only);
// rightFilter is checked on the table's row alone, residual on the joined
// row. The table's row is laid out as a scan would give it (used columns
// decoded, the RowId column appended when rowIdColumn).
OpP makeIndexLookupJoin(OpP left, jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex,
                        BExprP leftKey, BExprP rightFilter, std::shared_ptr<std::vector<bool>> used, bool rowIdColumn,
                        BExprP residual, JoinKind kind);

struct AggSpec {
  AggKind kind;
  BExprP arg;  // null for Count(*)
};
// Output row: group values, then aggregate results; groups in ascending
// order of their values. Without group expressions: exactly one row.
OpP makeAggregate(OpP child, std::vector<BExprP> groups, std::vector<AggSpec> aggs, const Collation& coll);

// Min or Max of one field of a whole table through an ascending index
// whose first field it is: one output row, a value per aggregate.
struct IndexAggregate {
  int realIndex = -1;
  size_t column = 0;
  bool max = false;
};
OpP makeIndexMinMax(jet::Database& db, std::shared_ptr<const jet::TableDef> def, std::vector<IndexAggregate> aggs);

// Count(*) over the entries of an index range: one row holding the count in
// each of its width columns (Long, as Count gives). Without textChecks no
// row is read, and the entries are bounded as a range scan bounds them.
// With textChecks the range is equal values for every column of the index
// and only entries whose key is exactly theirs are candidates; each
// candidate's row is read and counted when every checked column's text
// equals one of its values (needed where a key may have been cut short; a
// key of a whole text in the statement's order is the text's collation, so
// there the planner gives no checks).
struct TextCheck {
  size_t column;
  std::vector<jet::Value> values;
};
OpP makeIndexCount(jet::Database& db, std::shared_ptr<const jet::TableDef> def, IndexRange range,
                   std::vector<TextCheck> textChecks, size_t width, const Collation& coll);

// SELECT DISTINCT of one field through an index whose first field it is:
// one row per distinct key of that field (Null first in an ascending index),
// in the index's order, laid out as a scan of the table gives its rows
// (width columns, only column filled). Only for fields whose index key holds
// their value exactly (indexHoldsValuesExactly of the stored type).
bool indexHoldsValuesExactly(uint8_t rawType);
OpP makeIndexDistinct(jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex, size_t column,
                      size_t width);
// The same for a Text field through an ascending index of that field alone
// whose keys are in the statement's order and hold whole texts (General or
// General (legacy)): one row of each distinct key is read for the text it
// shows (one of the texts that are equal), in the index's order.
OpP makeIndexTextDistinct(jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex, size_t column,
                          size_t width);

struct SortKey {
  size_t slot;  // position in the child's row
  bool desc = false;
};
// Texts in the operators below compare by coll (the statement's collation).
// Sorts by row positions; stable; spills sorted runs to temporary files when
// the rows held exceed memoryLimit bytes.
OpP makeSort(OpP child, std::vector<SortKey> keys, const Collation& coll, size_t memoryLimit = 64u << 20);
// The same order as makeSort over rows of one table (carrying their RowIds),
// holding only each row's RowId and a summary of its keys; the rows come out
// with their RowIds only (columns Null), for makeRefetch to read whole. Past
// memoryLimit bytes it reads the rows again through makeSort. expectedRows:
// about how many rows will come (the table's count), for room made at once.
OpP makeKeySort(OpP child, std::vector<SortKey> keys, const Collation& coll, size_t expectedRows = 0,
                size_t memoryLimit = 256u << 20);
// Drops repeated rows (over the first n columns), keeping the first.
OpP makeDistinct(OpP child, size_t columns, const Collation& coll);
// TOP n [PERCENT]; with ties on the sort keys when keys is not empty.
OpP makeTop(OpP child, double n, bool percent, std::vector<SortKey> tieKeys, const Collation& coll);
// Sort followed by TOP n with ties, holding only about n rows at a time.
OpP makeTopSort(OpP child, std::vector<SortKey> keys, size_t n, const Collation& coll);
// The child's rows (from one table, carrying their RowIds) read again with
// the columns in used decoded (null: all).
OpP makeRefetch(OpP child, jet::Database& db, std::shared_ptr<const jet::TableDef> def,
                std::shared_ptr<std::vector<bool>> used);
// Rows of each child in turn (children have the same width).
OpP makeConcat(std::vector<OpP> children);
// Rows held in memory, handed out in order.
OpP makeRows(std::vector<std::vector<jet::Value>> rows, size_t width);
// Keeps the first n columns.
OpP makeTruncate(OpP child, size_t n);

// Subquery expressions: the plan runs with the current row as its outer row.
BExprP makeScalarSubquery(std::shared_ptr<Op> plan, jet::DataType type, int size, bool correlated);
BExprP makeInSubquery(BExprP value, std::shared_ptr<Op> plan, bool negated, bool correlated, const Collation& coll);
BExprP makeExists(std::shared_ptr<Op> plan, bool negated, bool correlated);

// Crosstab: rows grouped by the row headings; one column per pivot value.
struct CrosstabSpec {
  std::vector<BExprP> rowGroups;      // GROUP BY expressions
  std::vector<AggSpec> rowAggs;       // aggregates used by the row headings
  BExprP pivot;
  AggSpec value;                      // the TRANSFORM aggregate
  std::vector<jet::Value> fixedColumns;   // PIVOT ... IN (...), empty when open
  // Row headings evaluated on [groups..., rowAggs...]; having likewise.
  std::vector<BExprP> headings;
  BExprP having;
};
// Materialises the crosstab; columnNames receives the pivot column headings.
OpP makeCrosstab(OpP child, CrosstabSpec spec, std::vector<std::string>* columnNames,
                 std::vector<jet::DataType>* columnTypes, const Collation& coll);

// Serialisation of values for sort spill files.
void writeValue(std::string& out, const jet::Value& v);
bool readValue(const char*& p, const char* end, jet::Value& v);

}  // namespace sql
