// Opening files that are not what they seem: each failure is a jet::Error
// with the product's number, never a crash, a hang or a read outside the file.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "support/test_support.h"

namespace {

int openError(const std::string& path, const std::string& password = "") {
  try {
    jet::OpenOptions o;
    o.password = password;
    o.readOnly = true;
    jet::Database::open(path, o);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

int openBytesError(std::vector<uint8_t> bytes) {
  try {
    jet::OpenOptions o;
    o.readOnly = true;
    auto db = jet::Database::open(jet::memoryFile(std::move(bytes), true), o);
    std::ostringstream sink;
    jet::writeSchema(*db, sink);
    jet::writeDump(*db, "", sink);
    jet::writeQueries(*db, sink);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::string s = testsupport::readFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace

TEST(OpenErrors, MissingEmptyAndForeignFiles) {
  std::string dir = testsupport::tempDir();
  EXPECT_EQ(openError(dir + "/no-such-file.mdb"), jet::err::kFileNotFound);
  testsupport::writeFile(dir + "/empty.mdb", "");
  EXPECT_EQ(openError(dir + "/empty.mdb"), jet::err::kUnrecognizedFormat);
  testsupport::writeFile(dir + "/text.mdb", std::string(10000, 'x'));
  EXPECT_EQ(openError(dir + "/text.mdb"), jet::err::kUnrecognizedFormat);
  // A plausible signature with an unknown version number.
  std::string fake(8192, '\0');
  fake.replace(0, 4, std::string("\x00\x01\x00\x00", 4));
  fake.replace(4, 15, "Standard Jet DB");
  fake[0x14] = 0x7F;
  testsupport::writeFile(dir + "/fake.mdb", fake);
  EXPECT_EQ(openError(dir + "/fake.mdb"), jet::err::kUnrecognizedFormat);
  EXPECT_NE(openError(dir), 0);  // a folder
}

TEST(OpenErrors, PasswordsAreCheckedAndDistinctFromDamage) {
  SKIP_WITHOUT_SHARED();
  std::string jet4 = testsupport::fixture("jet4/V2000_with-password.mdb");
  EXPECT_EQ(openError(jet4), jet::err::kBadPassword);
  EXPECT_EQ(openError(jet4, "wrong"), jet::err::kBadPassword);
  EXPECT_EQ(openError(jet4, "PASSWORD"), jet::err::kBadPassword);  // case matters
  EXPECT_EQ(openError(jet4, "password"), 0);
  // A file without a password opens whatever is given.
  EXPECT_EQ(openError(testsupport::fixture("jet4/V2000_no-password.mdb"), "anything"), 0);
  // The newer .accdb encryption: asks for the password, then opens.
  for (const char* rel : {"ace/V2010_with-password.accdb", "ace/standardEncryption_with-password.accdb"}) {
    std::string ace = testsupport::fixture(rel);
    EXPECT_EQ(openError(ace), jet::err::kBadPassword);
    EXPECT_EQ(openError(ace, "wrong"), jet::err::kBadPassword);
    EXPECT_EQ(openError(ace, "password"), 0);
  }
}

TEST(OpenErrors, TruncatedFilesAreDamagedNotCrashes) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {"jet3/testV1997.mdb", "jet4/testV2000.mdb", "ace/testV2010.accdb"}) {
    SCOPED_TRACE(rel);
    auto full = bytesOf(testsupport::fixture(rel));
    for (size_t keep : {size_t(100), size_t(4096), size_t(3 * 4096), full.size() / 2, full.size() - 1}) {
      std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(keep));
      int n = openBytesError(cut);
      EXPECT_TRUE(n == 0 || n == jet::err::kCorrupt || n == jet::err::kUnrecognizedFormat)
          << "kept " << keep << " bytes: error " << n;
    }
  }
}

// Deterministic damage: random bytes overwritten in copies of real files. Only
// jet::Error may come out (the sanitizer build checks the reads).
TEST(OpenErrors, DamagedPagesGiveErrorsNeverCrashes) {
  SKIP_WITHOUT_SHARED();
  std::mt19937 rng(12345);
  for (const char* rel : {"jet3/testV1997.mdb", "jet4/testV2000.mdb", "jet4/overflowTestV2000.mdb",
                          "ace/testV2010.accdb", "jet4/queryTestV2000.mdb"}) {
    SCOPED_TRACE(rel);
    auto original = bytesOf(testsupport::fixture(rel));
    for (int round = 0; round < 60; ++round) {
      auto bytes = original;
      int hits = 1 + static_cast<int>(rng() % 40);
      for (int k = 0; k < hits; ++k) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      int n = openBytesError(bytes);
      EXPECT_TRUE(n == 0 || n == jet::err::kCorrupt || n == jet::err::kUnrecognizedFormat ||
                  n == jet::err::kBadPassword || n == jet::err::kNoSuchObject || n == jet::err::kNotSupported)
          << "round " << round << ": error " << n;
    }
  }
}

TEST(OpenErrors, LoopingLongValueAndTdefChainsAreDetected) {
  SKIP_WITHOUT_SHARED();
  // Point MSysObjects' definition page at itself as its own continuation.
  auto bytes = bytesOf(testsupport::fixture("jet4/testV2000.mdb"));
  size_t p2 = 2 * 4096;
  bytes[p2 + 4] = 2;
  bytes[p2 + 5] = bytes[p2 + 6] = bytes[p2 + 7] = 0;
  EXPECT_EQ(openBytesError(bytes), jet::err::kCorrupt);
}
