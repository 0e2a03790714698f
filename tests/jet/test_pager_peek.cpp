// The pager's hint lookup (peek) serves only the committed bytes of cached
// pages: never a page a change holds, never an evicted or rolled-back
// buffer; rows read through it are the bytes readRow gives, or none; and
// page buffers from the page regions survive heavy churn with their bytes
// intact.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/page_memory.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;

namespace {

std::string makeFile(const std::string& name, int rows) {
  std::string path = testsupport::tempDir() + "/" + name;
  std::filesystem::remove(path);
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"T",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Code", DataType::Long),
                          jet::columnSpec("Name", DataType::Text, 60)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CodeIdx", {{"Code", true}})}});
  jet::TableWriter w(*db, "T");
  jet::ChangeScope change(*db);
  for (int i = 0; i < rows; ++i)
    w.insert({Value(), Value::longInt(i * 7 % 1000), Value::text("row " + std::to_string(i) + std::string(40, 'x'))});
  change.commit();
  return path;
}

// Every page peek() serves has the bytes page() gives.
void peeksAgree(jet::Pager& p) {
  for (uint32_t pg = 1; pg < p.pageCount(); ++pg) {
    const uint8_t* d = p.peek(pg);
    if (!d) continue;
    jet::PageRef ref = p.page(pg);
    ASSERT_EQ(d, ref->data()) << "page " << pg;
  }
}

}  // namespace

TEST(PagerPeek, ServesCommittedCachedBytesOnly) {
  const std::string path = makeFile("pager_peek.mdb", 3000);
  auto db = jet::Database::open(path);
  jet::Pager& p = db->pager();
  const uint32_t pg = p.pageCount() - 1;
  jet::PageRef before = p.page(pg);
  ASSERT_EQ(p.peek(pg), before->data());
  const uint8_t old = (*before)[100];

  // a change holds the page: no hint, whether the buffer is copied (a
  // reader holds it) or changed in place
  p.beginChange();
  p.modify(pg)[100] = static_cast<uint8_t>(old + 1);
  EXPECT_EQ(p.peek(pg), nullptr);
  p.rollbackChange();
  EXPECT_EQ(p.peek(pg), nullptr);
  EXPECT_EQ((*p.page(pg))[100], old);
  EXPECT_EQ((*before)[100], old);
  before.reset();
  ASSERT_NE(p.peek(pg), nullptr);

  p.beginChange();
  p.modify(pg)[100] = static_cast<uint8_t>(old + 2);  // nobody else holds it: in place
  EXPECT_EQ(p.peek(pg), nullptr);
  p.rollbackChange();
  EXPECT_EQ(p.peek(pg), nullptr);
  EXPECT_EQ((*p.page(pg))[100], old);

  p.beginChange();
  p.modify(pg)[100] = static_cast<uint8_t>(old + 3);
  EXPECT_EQ(p.peek(pg), nullptr);
  p.commitChange();
  ASSERT_NE(p.peek(pg), nullptr);
  EXPECT_EQ(p.peek(pg)[100], static_cast<uint8_t>(old + 3));
  peeksAgree(p);

  p.dropCache();
  for (uint32_t k = 1; k < p.pageCount(); ++k) EXPECT_EQ(p.peek(k), nullptr);
}

TEST(PagerPeek, EvictedPagesAreNotServed) {
  const std::string path = makeFile("pager_peek_small.mdb", 3000);
  jet::OpenOptions o;
  o.readOnly = true;
  o.cachePages = 8;
  auto db = jet::Database::open(path, o);
  jet::Pager& p = db->pager();
  ASSERT_GT(p.pageCount(), 40u);
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    (void)p.page(1 + static_cast<uint32_t>(rng() % (p.pageCount() - 1)));
    size_t served = 0;
    for (uint32_t pg = 1; pg < p.pageCount(); ++pg) served += p.peek(pg) != nullptr;
    ASSERT_LE(served, 8u);
  }
  peeksAgree(p);
}

TEST(PagerPeek, PeekedRowsAreTheRowsReadRowReads) {
  const std::string path = makeFile("pager_peek_rows.mdb", 3000);
  auto db = jet::Database::open(path);
  auto def = db->table("T");
  std::vector<jet::RowId> ids;
  for (auto scan = db->scan("T"); scan->next();) ids.push_back(scan->rowId());
  ASSERT_EQ(ids.size(), 3000u);
  jet::Pager& p = db->pager();
  p.dropCache();
  jet::ByteView peeked, read;
  // nothing cached yet: nothing served
  EXPECT_FALSE(jet::peekRow(p, *def, ids[100], peeked));
  size_t served = 0;
  for (auto id : ids) {
    jet::PageRef holder;
    ASSERT_TRUE(jet::readRow(p, *def, id, holder, read));
    ASSERT_TRUE(jet::peekRow(p, *def, id, peeked));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(peeked.data), peeked.size),
              std::string(reinterpret_cast<const char*>(read.data), read.size));
    ++served;
  }
  EXPECT_EQ(served, ids.size());
  // a row of another table's pages, a slot past the page's rows, page 0
  auto other = std::make_shared<jet::TableDef>(*def);
  other->page = def->page + 1;
  EXPECT_FALSE(jet::peekRow(p, *other, ids[5], peeked));
  EXPECT_FALSE(jet::peekRow(p, *def, jet::RowId{ids[5].page, 250}, peeked));
  EXPECT_FALSE(jet::peekRow(p, *def, jet::RowId{0, 0}, peeked));
  EXPECT_FALSE(jet::peekRow(p, *def, jet::RowId{p.pageCount() + 5, 0}, peeked));
  // a deleted row, and rows on a page a change holds
  {
    jet::TableWriter w(*db, "T");
    jet::ChangeScope change(*db);
    w.remove(ids[7]);
    EXPECT_FALSE(jet::peekRow(p, *def, ids[8], peeked));
    change.commit();
  }
  jet::PageRef holder;
  EXPECT_FALSE(jet::readRow(p, *def, ids[7], holder, read));
  EXPECT_FALSE(jet::peekRow(p, *def, ids[7], peeked));
  ASSERT_TRUE(jet::readRow(p, *def, ids[8], holder, read));
  EXPECT_TRUE(jet::peekRow(p, *def, ids[8], peeked));
}

TEST(PageMemory, BlocksKeepTheirBytesThroughChurn) {
  // page-sized and small blocks taken and given back in any order, beyond
  // one region's worth, each holding a pattern of its own
  std::mt19937 rng(9);
  struct Block {
    uint8_t* p;
    size_t n;
    uint8_t mark;
  };
  std::vector<Block> live;
  const size_t sizes[] = {4096, 2048, 40, 64, 100, 8192, 3u << 20};
  for (int step = 0; step < 20000; ++step) {
    if (live.empty() || rng() % 3 != 0) {
      size_t n = sizes[rng() % (step % 500 == 0 ? 7 : 6)];
      auto* b = static_cast<uint8_t*>(jet::allocatePageMemory(n));
      uint8_t mark = static_cast<uint8_t>(rng());
      std::memset(b, mark, n);
      live.push_back({b, n, mark});
    } else {
      size_t i = rng() % live.size();
      Block b = live[i];
      for (size_t k = 0; k < b.n; ++k) ASSERT_EQ(b.p[k], b.mark);
      jet::freePageMemory(b.p, b.n);
      live[i] = live.back();
      live.pop_back();
    }
  }
  for (const auto& b : live) {
    for (size_t k = 0; k < b.n; ++k) ASSERT_EQ(b.p[k], b.mark);
    jet::freePageMemory(b.p, b.n);
  }
}
