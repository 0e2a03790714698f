// Attachment and multi-value columns of real .accdb files: glimmer-cli rows
// shows them as file names or values joined by "; ", and glimmer-cli
// attachments writes every attached file, decompressed, one folder per row,
// never over a file that is already there.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/complex_damage.h"
#include "support/test_support.h"

namespace {

std::string cli() { return testsupport::binDir() + "/glimmer-cli"; }

std::string q(const std::string& s) { return "'" + s + "'"; }

TEST(Attachments, FilesAreWrittenDecompressedOneFolderPerRow) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::fixture("ace/attachmentsV2016.accdb");
  const std::string out = testsupport::tempDir() + "/out";
  std::string listing;
  ASSERT_EQ(testsupport::run(cli() + " attachments " + q(file) + " Table1 " + q(out), &listing), 0);
  EXPECT_EQ(testsupport::readFile(out + "/ID 2/attachment1.txt"), "Attachment 1");
  EXPECT_EQ(testsupport::readFile(out + "/ID 3/attachment1.txt"), "Attachment 1");
  EXPECT_EQ(testsupport::readFile(out + "/ID 3/attachment2.txt"), "Attachment 2");
  EXPECT_EQ(testsupport::readFile(out + "/ID 3/attachment3.txt"), "Attachment 3");
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(out))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 4u);
  EXPECT_NE(listing.find("ID 3/attachment3.txt\t12"), std::string::npos) << listing;

  // A second run into the same folder refuses rather than overwrite.
  std::string again;
  EXPECT_NE(testsupport::run(cli() + " attachments " + q(file) + " Table1 " + q(out) + " 2>&1", &again), 0);
  EXPECT_NE(again.find("Error 3043"), std::string::npos) << again;
  EXPECT_EQ(testsupport::readFile(out + "/ID 2/attachment1.txt"), "Attachment 1");

  std::string err;
  EXPECT_NE(testsupport::run(cli() + " attachments " + q(file) + " NoSuchTable " + q(out + "2") + " 2>&1", &err), 0);
  EXPECT_NE(err.find("Error "), std::string::npos) << err;
}

TEST(Attachments, RowsShowNamesAndValuesJoined) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::fixture("ace/complexDataTestV2010.accdb");
  std::string rows;
  ASSERT_EQ(testsupport::run(cli() + " rows " + q(file) + " Table1", &rows), 0);
  EXPECT_NE(rows.find("\tvalue1; value4\ttest_data.txt; test_data2.txt\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("\tvalue1; value2; value3; value4\t\n"), std::string::npos) << rows;
  EXPECT_NE(rows.find("row3-memo; row3-memo-revised; row3-memo-again"), std::string::npos) << rows;

  const std::string out = testsupport::tempDir() + "/out";
  ASSERT_EQ(testsupport::run(cli() + " attachments " + q(file) + " Table1 " + q(out)), 0);
  EXPECT_EQ(testsupport::readFile(out + "/id row2/test_data.txt"), "this is some test data for attachment.");
  EXPECT_EQ(testsupport::readFile(out + "/id row2/test_data2.txt"),
            "this is some more test data for attachment.");
  EXPECT_EQ(testsupport::readFile(out + "/id row4/test_data2.txt"),
            "this is some more test data for attachment.");
}

TEST(Attachments, DamagedAttachmentDataIsError3049NamingTheFileAndNothingHalfWritten) {
  SKIP_WITHOUT_SHARED();
  // attachment2.txt's deflated data with its stream broken.
  const std::string file = complexdamage::damagedCopy("ace/attachmentsV2016.accdb", [](std::string& bytes,
                                                                                      jet::Database& db) {
    auto flat = complexdamage::flatTableOf(db, "Table1", "Attachments");
    auto scan = db.scan(flat.name);
    const int name = scan->def().findColumn("FileName"), data = scan->def().findColumn("FileData");
    std::string stored;
    while (scan->next())
      if (scan->value(static_cast<size_t>(name)).bytes() == "attachment2.txt")
        stored = scan->value(static_cast<size_t>(data)).bytes();
    size_t at = bytes.find(stored);
    ASSERT_NE(at, std::string::npos);
    std::memset(bytes.data() + at + stored.size() - 12, 0, 12);
  });
  std::string rows;
  ASSERT_EQ(testsupport::run(cli() + " rows " + q(file) + " Table1", &rows), 0);
  EXPECT_NE(rows.find("attachment1.txt; attachment2.txt; attachment3.txt"), std::string::npos) << rows;
  const std::string out = testsupport::tempDir() + "/out";
  std::string err;
  EXPECT_NE(testsupport::run(cli() + " attachments " + q(file) + " Table1 " + q(out) + " 2>&1", &err), 0);
  EXPECT_NE(err.find("3049"), std::string::npos) << err;
  EXPECT_NE(err.find("attachment2.txt"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(out + "/ID 3/attachment2.txt"));
}

}  // namespace
