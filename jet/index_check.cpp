// checkIndex (see index.h): an index's tree walked page by page, and its
// entries compared with the keys built from the table's live rows.
#include <algorithm>
#include <unordered_set>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index.h"
#include "jet/index_key.h"

namespace jet {

namespace {

std::string hex(const std::vector<uint8_t>& b, size_t max = 48) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < b.size() && i < max; ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  if (b.size() > max) s += " ...";
  return s;
}

std::string rowText(RowId r) {
  return "row " + std::to_string(r.page) + ":" + std::to_string(r.row);
}

struct TreeWalk {
  Pager& pager;
  const Format& fmt;
  std::vector<std::string>& problems;
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> leaves;
  size_t mismatchedNodes = 0;

  void problem(const std::string& s) {
    if (problems.size() < 200) problems.push_back(s);
  }

  // Returns false when the subtree could not be read; fills last with its last entry.
  bool walk(uint32_t pgno, int depth, IndexEntry* last, bool* empty) {
    *empty = true;
    if (depth > kMaxIndexDepth) {
      problem("the index tree is deeper than " + std::to_string(kMaxIndexDepth) + " levels");
      return false;
    }
    if (pgno == 0 || pgno >= pager.pageCount()) {
      problem("index page pointer " + std::to_string(pgno) + " is outside the file");
      return false;
    }
    if (!seen.insert(pgno).second) {
      problem("index page " + std::to_string(pgno) + " is reached twice in the tree");
      return false;
    }
    IndexPage p;
    try {
      PageRef ref = pager.page(pgno);
      p = parseIndexPage(fmt, view(ref), pgno);
    } catch (const Error& e) {
      problem(e.what());
      return false;
    }
    if (p.leaf) {
      leaves.push_back(pgno);
      if (!p.entries.empty()) {
        *last = p.entries.back();
        *empty = false;
      }
      return true;
    }
    bool ok = true;
    for (const IndexEntry& e : p.entries) {
      IndexEntry childLast;
      bool childEmpty = true;
      if (!walk(e.child, depth + 1, &childLast, &childEmpty)) {
        ok = false;
        continue;
      }
      if (!childEmpty && (compareKeys(childLast.key, e.key) != 0 || !(childLast.row == e.row))) {
        if (mismatchedNodes++ < 5)
          problem("entry for child page " + std::to_string(e.child) + " on index page " + std::to_string(pgno) +
                  " does not match the child's last entry");
      }
      *last = e;
      *empty = false;
    }
    if (p.tail != 0) {
      IndexEntry tailLast;
      bool tailEmpty = true;
      if (!walk(p.tail, depth + 1, &tailLast, &tailEmpty)) ok = false;
      else if (!tailEmpty) {
        *last = tailLast;
        *empty = false;
      }
    }
    return ok;
  }
};

}  // namespace

std::vector<std::string> checkIndex(Database& db, const TableDef& def, const Index& ix) {
  std::vector<std::string> problems;
  const std::string where = "index '" + ix.name + "' of table '" + def.name + "': ";
  if (ix.realIndex < 0 || static_cast<size_t>(ix.realIndex) >= def.realIndexes.size()) {
    problems.push_back(where + "it refers to a missing index structure");
    return problems;
  }
  const RealIndex& real = def.realIndexes[ix.realIndex];
  const Format& fmt = db.format();
  Pager& pager = db.pager();
  auto add = [&](const std::string& s) {
    if (problems.size() < 200) problems.push_back(where + s);
  };

  // 1. The tree: every page reachable once, intermediate entries matching
  // their children, and the same leaves as the leaf chain.
  std::vector<std::string> treeProblems;
  TreeWalk tw{pager, fmt, treeProblems, {}, {}, 0};
  IndexEntry rootLast;
  bool rootEmpty = true;
  tw.walk(real.rootPage, 0, &rootLast, &rootEmpty);
  for (const auto& s : treeProblems) add(s);

  // 2. The entries along the leaf chain, in order.
  struct Item {
    std::vector<uint8_t> key;
    RowId row;
  };
  std::vector<Item> entries;
  try {
    IndexCursor cur(pager, real.rootPage);
    while (cur.next()) {
      entries.push_back({cur.key(), cur.rowId()});
    }
  } catch (const Error& e) {
    add(std::string("cannot read its entries: ") + e.what());
    return problems;
  }
  if (treeProblems.empty() && !tw.leaves.empty()) {
    // The leaf chain, followed from the leftmost leaf, must visit the tree's
    // leaves in the same order, with matching back pointers.
    std::vector<uint32_t> walked;
    std::unordered_set<uint32_t> seen;
    uint32_t pg = tw.leaves.front(), prev = 0;
    try {
      while (pg != 0 && seen.insert(pg).second && walked.size() <= tw.leaves.size()) {
        if (pg >= pager.pageCount()) {
          add("its leaf chain points outside the file (page " + std::to_string(pg) + ")");
          break;
        }
        PageRef ref = pager.page(pg);
        IndexPage lp = parseIndexPage(fmt, view(ref), pg);
        if (lp.prev != prev)
          add("leaf page " + std::to_string(pg) + " points back to page " + std::to_string(lp.prev) +
              " instead of " + std::to_string(prev));
        walked.push_back(pg);
        prev = pg;
        pg = lp.next;
      }
    } catch (const Error& e) {
      add(std::string("its leaf chain is damaged: ") + e.what());
    }
    if (walked != tw.leaves) add("its leaf chain and its tree list different leaf pages");
  }
  size_t orderProblems = 0;
  for (size_t i = 1; i < entries.size(); ++i) {
    if (compareEntries(entries[i - 1].key, entries[i - 1].row, entries[i].key, entries[i].row) >= 0 &&
        orderProblems++ < 5)
      add("entry " + std::to_string(i) + " (" + rowText(entries[i].row) + ") is out of order");
  }

  // 3. Against the table's rows.
  std::string why;
  const bool canKey = canEncodeKey(fmt, def, real, &why);
  std::unordered_map<uint32_t, size_t> byRow;  // packed row id -> entry index
  byRow.reserve(entries.size());
  size_t dupRows = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    auto [it, fresh] = byRow.emplace(entries[i].row.packed(), i);
    if (!fresh && dupRows++ < 5) add(rowText(entries[i].row) + " has more than one entry");
  }
  std::vector<bool> matched(entries.size(), false);
  std::vector<bool> entryHasNull(entries.size(), false);
  size_t missing = 0, wrongKey = 0, nullProblems = 0;
  try {
    std::shared_ptr<const TableDef> alias(std::shared_ptr<const TableDef>{}, &def);
    TableScan scan(db, alias);
    while (scan.next()) {
      const auto& vals = scan.values();
      RowId rid = scan.rowId();
      auto it = byRow.find(rid.packed());
      bool expectEntry = !(real.ignoreNulls() && keyIsAllNull(def, real, vals));
      if (it == byRow.end()) {
        if (expectEntry && missing++ < 5) add(rowText(rid) + " has no entry");
        continue;
      }
      matched[it->second] = true;
      entryHasNull[it->second] = keyHasNull(def, real, vals);
      if (!expectEntry) {
        if (missing++ < 5) add(rowText(rid) + " has an entry although its key is Null and nulls are ignored");
        continue;
      }
      if ((real.required() || ix.primary()) && keyHasNull(def, real, vals) && nullProblems++ < 5)
        add(rowText(rid) + " has a Null key although the index requires values");
      if (canKey) {
        std::vector<uint8_t> expect = encodeIndexKey(fmt, def, real, vals);
        const auto& got = entries[it->second].key;
        if (expect != got && wrongKey++ < 5)
          add("the key stored for " + rowText(rid) + " is [" + hex(got) + "] but the row gives [" + hex(expect) + "]");
      }
    }
  } catch (const Error& e) {
    add(std::string("cannot compare with the table's rows: ") + e.what());
    return problems;
  }
  size_t stray = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    if (!matched[i] && stray++ < 5) add("an entry points to " + rowText(entries[i].row) + ", which is not a live row");
  if (missing > 5) add(std::to_string(missing) + " rows in all lack a correct entry");
  if (wrongKey > 5) add(std::to_string(wrongKey) + " keys in all differ from their rows");
  if (stray > 5) add(std::to_string(stray) + " entries in all point to no live row");

  // 4. Uniqueness: equal keys are allowed only when they hold a Null.
  if (real.unique() || ix.primary()) {
    size_t dups = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].key != entries[i - 1].key) continue;
      if (entryHasNull[i] || entryHasNull[i - 1]) continue;
      if (dups++ < 5) add("the unique key of " + rowText(entries[i].row) + " repeats the previous entry's key");
    }
  }
  return problems;
}

}  // namespace jet
