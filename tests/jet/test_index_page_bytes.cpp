// The index writer changes leaf pages byte by byte where it can (an entry
// put in between, a page written anew when its shared prefix changes or a
// key goes first); whatever path a change takes, every index page must come
// out exactly as the full encoder writes its entries.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/index.h"
#include "jet/index_writer.h"
#include "jet/table_writer.h"

using jet::Value;

namespace {

// Every index page of the file against its own parse encoded again.
void expectCanonicalIndexPages(jet::Database& db) {
  const jet::Format& fmt = db.format();
  int pages = 0;
  for (uint32_t pg = 1; pg < db.pager().pageCount(); ++pg) {
    jet::PageRef p = db.pager().page(pg);
    if ((*p)[0] != jet::pagetype::kIndexLeaf && (*p)[0] != jet::pagetype::kIndexNode) continue;
    auto parsed = jet::parseIndexPage(fmt, jet::view(p), pg);
    jet::PageBuf again;
    ASSERT_TRUE(jet::encodeIndexPage(fmt, jet::view(p).u32(4), parsed, again)) << "page " << pg;
    ASSERT_EQ(again, *p) << "page " << pg << " differs from its entries encoded again";
    ++pages;
  }
  EXPECT_GT(pages, 10);
}

}  // namespace

TEST(IndexPageBytes, EveryWritePathLeavesPagesAsTheEncoderWritesThem) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T",
                         {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Code", jet::DataType::Long),
                          jet::columnSpec("Txt", jet::DataType::Text, 40)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Code", {{"Code", true}}),
                          jet::indexSpec("Txt", {{"Txt", false}})}});
  jet::TableWriter w(*db, "T");
  std::mt19937 rng(11);
  std::vector<jet::RowId> ids;
  {
    jet::ChangeScope change(*db);
    // Descending keys always go first on their leaf; random codes land
    // anywhere; texts sharing long beginnings change the pages' prefixes.
    for (int i = 0; i < 8000; ++i) {
      int32_t code = static_cast<int32_t>(rng() % 100000) - 50000;
      std::string txt = "prefix " + std::to_string(rng() % 7) + std::string(rng() % 5, 'z') + std::to_string(rng() % 1000);
      ids.push_back(w.insert({Value::longInt(100000 - i), Value::longInt(code), Value::text(txt)}));
    }
    change.commit();
  }
  expectCanonicalIndexPages(*db);
  {
    jet::ChangeScope change(*db);
    for (size_t i = 0; i < ids.size(); i += 3) w.remove(ids[i]);
    for (int i = 0; i < 3000; ++i)
      w.insert({Value::longInt(200000 + i), Value::longInt(static_cast<int32_t>(rng() % 7)), Value::text("a")});
    change.commit();
  }
  expectCanonicalIndexPages(*db);
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}
