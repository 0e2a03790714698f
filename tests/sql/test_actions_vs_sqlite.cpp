// Property test: random UPDATE, DELETE and INSERT statements run against a
// created database and against SQLite holding the same rows; after every
// statement both report the same number of rows (or both refuse it) and
// hold the same rows. The statements keep to what both dialects mean the
// same way (lower-case text, small integers, no changes of the key).
#include <gtest/gtest.h>

#if GLIMMER_HAVE_SQLITE
#include <sqlite3.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "sql/action.h"
#include "sql/engine.h"

namespace {

struct Lite {
  sqlite3* db = nullptr;
  Lite() { sqlite3_open(":memory:", &db); }
  ~Lite() { sqlite3_close(db); }
  // rows changed, or -1 when the statement failed
  int exec(const std::string& s) {
    char* err = nullptr;
    int rc = sqlite3_exec(db, s.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    return rc == SQLITE_OK ? sqlite3_changes(db) : -1;
  }
  std::vector<std::string> rows() {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT K, A, B, C FROM T ORDER BY K", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string r;
      for (int i = 0; i < 4; ++i) {
        if (i) r += "|";
        if (sqlite3_column_type(st, i) == SQLITE_NULL) {
          r += "NULL";
        } else if (i == 3) {
          char buf[40];
          std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
          r += buf;
        } else {
          r += reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        }
      }
      out.push_back(r);
    }
    sqlite3_finalize(st);
    return out;
  }
};

std::vector<std::string> jetRows(jet::Database& db) {
  std::vector<std::string> out;
  auto rs = sql::openRecordset(db, "SELECT K, A, B, C FROM T ORDER BY K");
  for (size_t i = 0; rs->fetchTo(i + 1); ++i) {
    const auto& v = rs->row(i);
    std::string r;
    for (size_t c = 0; c < 4; ++c) {
      if (c) r += "|";
      if (v[c].isNull()) {
        r += "NULL";
      } else if (c == 3) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v[c].toDouble());
        r += buf;
      } else if (c == 2) {
        r += v[c].bytes();
      } else {
        r += std::to_string(v[c].asInt());
      }
    }
    out.push_back(r);
  }
  return out;
}

struct Pair {
  std::string jet, lite;
};

Pair randomStatement(std::mt19937& rng) {
  auto n = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto word = [&]() {
    std::string w;
    int len = n(0, 6);
    for (int i = 0; i < len; ++i) w.push_back(static_cast<char>('a' + n(0, 5)));
    return w;
  };
  auto cond = [&]() -> Pair {
    switch (n(0, 5)) {
      case 0: { auto s = "A < " + std::to_string(n(0, 60)); return {s, s}; }
      case 1: {
        auto s = "A BETWEEN " + std::to_string(n(0, 30)) + " AND " + std::to_string(n(30, 60));
        return {s, s};
      }
      case 2: { auto s = "B = '" + word() + "'"; return {s, s}; }
      case 3: { auto s = "B IS NULL"; return {s, s}; }
      case 4: {
        int m = n(2, 5), r = n(0, m - 1);
        return {"K MOD " + std::to_string(m) + " = " + std::to_string(r),
                "K % " + std::to_string(m) + " = " + std::to_string(r)};
      }
      default: { auto s = "C > " + std::to_string(n(0, 100)) + ".5 OR A IN (1, 2, 3)"; return {s, s}; }
    }
  };
  switch (n(0, 5)) {
    case 0: {  // UPDATE with several fields, seeing the old values
      Pair c = cond();
      std::string k = std::to_string(n(-3, 3));
      return {"UPDATE T SET A = A + " + k + ", C = C * 2 - A WHERE " + c.jet,
              "UPDATE T SET A = A + " + k + ", C = C * 2 - A WHERE " + c.lite};
    }
    case 1: {
      Pair c = cond();
      std::string w = n(0, 3) ? "'" + word() + "'" : "NULL";
      return {"UPDATE T SET B = " + w + " WHERE " + c.jet, "UPDATE T SET B = " + w + " WHERE " + c.lite};
    }
    case 2: {
      Pair c = cond();
      return {"DELETE FROM T WHERE " + c.jet, "DELETE FROM T WHERE " + c.lite};
    }
    case 3: {  // may collide with an existing key: both refuse it
      std::string v = std::to_string(n(1, 400)) + ", " + std::to_string(n(0, 60)) + ", '" + word() + "', " +
                      std::to_string(n(0, 1000)) + ".25";
      auto s = "INSERT INTO T (K, A, B, C) VALUES (" + v + ")";
      return {s, s};
    }
    case 4: {  // a batch, all or nothing
      Pair c = cond();
      std::string off = std::to_string(n(1, 3) * 100);
      return {"INSERT INTO T (K, A, B) SELECT K + " + off + ", A, B FROM T WHERE " + c.jet,
              "INSERT INTO T (K, A, B) SELECT K + " + off + ", A, B FROM T WHERE " + c.lite};
    }
    default: {
      Pair c = cond();
      return {"UPDATE T SET A = 70 - A WHERE " + c.jet + " AND A IS NOT NULL",
              "UPDATE T SET A = 70 - A WHERE " + c.lite + " AND A IS NOT NULL"};
    }
  }
}

}  // namespace

TEST(ActionsAgainstSqlite, RandomChangesLeaveTheSameRows) {
  auto db = jet::createMemoryDatabase();
  sql::runAction(*db, "CREATE TABLE T (K LONG CONSTRAINT PK PRIMARY KEY, A LONG, B TEXT(20), C DOUBLE)");
  sql::runAction(*db, "CREATE INDEX ByA ON T (A)");
  sql::runAction(*db, "CREATE INDEX ByB ON T (B DESC, A)");
  Lite lite;
  lite.exec("CREATE TABLE T (K INTEGER PRIMARY KEY, A INTEGER, B TEXT, C REAL)");
  for (int k = 1; k <= 60; ++k) {
    std::string v = std::to_string(k) + ", " + std::to_string((k * 7) % 50) + ", " +
                    (k % 9 ? "'" + std::string(1, static_cast<char>('a' + k % 6)) + "'" : "NULL") + ", " +
                    std::to_string(k * 3) + ".5";
    sql::runAction(*db, "INSERT INTO T VALUES (" + v + ")");
    lite.exec("INSERT INTO T VALUES (" + v + ")");
  }
  ASSERT_EQ(jetRows(*db), lite.rows());
  std::mt19937 rng(20261207);
  int refused = 0;
  for (int i = 0; i < 400; ++i) {
    Pair s = randomStatement(rng);
    SCOPED_TRACE(s.jet);
    int64_t mine = -1;
    try {
      mine = sql::runAction(*db, s.jet);
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kDuplicateKey) << e.what();
    }
    int theirs = lite.exec(s.lite);
    ASSERT_EQ(mine, theirs);
    if (mine < 0) ++refused;
    ASSERT_EQ(jetRows(*db), lite.rows());
    if (i % 50 == 49) {
      auto r = jet::checkDatabase(*db);
      for (const auto& p : r.problems) ADD_FAILURE() << p;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, 200);
}

#else
TEST(ActionsAgainstSqlite, RandomChangesLeaveTheSameRows) { GTEST_SKIP() << "built without SQLite"; }
#endif
