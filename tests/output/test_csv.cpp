// The CSV writer and reader shared by glimmer-cli and the window: quoting,
// line ends, failed writes, reading back what was written, malformed input,
// and export / import through glimmer-cli on the sample database.
#include <gtest/gtest.h>

#include <sstream>

#include "jet/error.h"
#include "output/csv_reader.h"
#include "output/csv_writer.h"
#include "support/test_support.h"

namespace {

std::vector<output::CsvRecord> readAll(const std::string& text) {
  std::istringstream in(text);
  output::CsvReader r(in);
  std::vector<output::CsvRecord> out;
  output::CsvRecord rec;
  while (r.next(rec)) out.push_back(rec);
  return out;
}

int readError(const std::string& text) {
  try {
    readAll(text);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace

TEST(Csv, QuotingFollowsRfc4180) {
  EXPECT_EQ(output::csvQuote("plain"), "plain");
  EXPECT_EQ(output::csvQuote("a,b"), "\"a,b\"");
  EXPECT_EQ(output::csvQuote("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(output::csvQuote("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(output::csvQuote("cr\rhere"), "\"cr\rhere\"");
  EXPECT_EQ(output::csvQuote(" padded "), "\" padded \"");
  EXPECT_EQ(output::csvQuote(""), "");
  EXPECT_EQ(output::csvQuote("Zürich"), "Zürich");
}

TEST(Csv, WriterEndsRecordsWithCrlfAndReadsBackEveryField) {
  std::ostringstream out;
  output::CsvWriter w(out);
  const std::vector<std::vector<std::string>> rows = {
      {"Name", "Note", "Empty"},
      {"O'Brien, Pat", "said \"yes\"\r\nthen left", ""},
      {"Zoë", " x ", "last"}};
  for (const auto& r : rows) {
    for (const auto& f : r) w.field(f);
    w.endRecord();
  }
  w.flush();
  EXPECT_EQ(out.str().substr(0, 18), "Name,Note,Empty\r\n\"");
  auto back = readAll(out.str());
  ASSERT_EQ(back.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(back[i].fields, rows[i]) << i;
  EXPECT_EQ(back[0].line, 1u);
  EXPECT_EQ(back[2].line, 4u);  // the quoted line break counts
}

TEST(Csv, LargeOutputIsWrittenInBlocksAndAFailedStreamIsAnError) {
  std::ostringstream out;
  output::CsvWriter w(out);
  for (int i = 0; i < 20000; ++i) {
    w.field("row " + std::to_string(i));
    w.endRecord();
  }
  EXPECT_GT(out.str().size(), 0u);  // blocks went out before the end
  w.flush();
  EXPECT_EQ(readAll(out.str()).size(), 20000u);

  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  output::CsvWriter wb(bad);
  wb.field("x");
  wb.endRecord();
  try {
    wb.flush();
    FAIL() << "no error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::err::kIoError);
  }
}

TEST(Csv, ReaderSkipsBomAndEmptyLinesAndRejectsBrokenQuotes) {
  auto recs = readAll("\xEF\xBB\xBF" "a,b\n\n1,2\r\n\"\"\n3,\n");
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].fields, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(recs[1].line, 3u);
  EXPECT_EQ(recs[2].fields, (std::vector<std::string>{""}));
  EXPECT_EQ(recs[3].fields, (std::vector<std::string>{"3", ""}));
  EXPECT_EQ(readAll("x,y").back().fields, (std::vector<std::string>{"x", "y"}));  // no final line end
  EXPECT_EQ(readError("a\n\"open,\n"), jet::err::kSyntax);
  EXPECT_EQ(readError("\"closed\"junk,b\n"), jet::err::kSyntax);
  EXPECT_EQ(readError(""), 0);
}

TEST(Csv, CliExportThenImportRoundTripsQuotedText) {
  std::string dir = testsupport::tempDir();
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  std::string db = dir + "/sample.mdb";
  ASSERT_EQ(testsupport::run(cli + " sample '" + db + "'"), 0);
  std::string csv = dir + "/in.csv";
  testsupport::writeFile(csv, "Name,City,Notes\r\n\"Smith, Jo\",\"Le \"\"Mans\"\"\",\"one\r\ntwo\"\r\n");
  std::string out;
  ASSERT_EQ(testsupport::run(cli + " import '" + db + "' Customers '" + csv + "'", &out), 0) << out;
  ASSERT_EQ(testsupport::run(cli + " export '" + db + "' Customers", &out), 0);
  auto recs = readAll(out);
  ASSERT_GE(recs.size(), 2u);
  int name = -1, city = -1, notes = -1;
  for (size_t i = 0; i < recs[0].fields.size(); ++i) {
    if (recs[0].fields[i] == "Name") name = static_cast<int>(i);
    if (recs[0].fields[i] == "City") city = static_cast<int>(i);
    if (recs[0].fields[i] == "Notes") notes = static_cast<int>(i);
  }
  ASSERT_GE(notes, 0);
  bool found = false;
  for (const auto& r : recs) {
    if (r.fields.at(name) != "Smith, Jo") continue;
    found = true;
    EXPECT_EQ(r.fields.at(city), "Le \"Mans\"");
    EXPECT_EQ(r.fields.at(notes), "one\r\ntwo");
  }
  EXPECT_TRUE(found) << out;
  // A broken file names its line and changes nothing.
  testsupport::writeFile(csv, "Name\n\"unclosed\n");
  std::string before;
  testsupport::run(cli + " rows '" + db + "' Customers", &before);
  std::string err = dir + "/err.txt";
  EXPECT_NE(testsupport::run(cli + " import '" + db + "' Customers '" + csv + "' 2>'" + err + "'"), 0);
  EXPECT_EQ(testsupport::readFile(err), "Error 3075: Line 2: a quoted field is not closed.\n");
  std::string after;
  testsupport::run(cli + " rows '" + db + "' Customers", &after);
  EXPECT_EQ(before, after);
}

TEST(Csv, ReaderKeepsFieldsAndLinesAcrossItsReadBlocks) {
  // Records of every kind (plain, quoted with doubled quotes and line breaks,
  // empty fields, CRLF and LF ends) repeated well past one read block, so
  // that fields, quotes and line ends fall on block edges at every offset.
  std::string text;
  std::vector<std::vector<std::string>> want;
  size_t lines = 0;
  std::vector<size_t> startLines;
  for (int i = 0; text.size() < 300000; ++i) {
    std::string plain = "v" + std::to_string(i) + std::string(static_cast<size_t>(i % 37), 'x');
    std::string quoted = "q \"" + std::to_string(i) + "\"\nsecond, line";
    startLines.push_back(lines + 1);
    text += plain + ",\"q \"\"" + std::to_string(i) + "\"\"\nsecond, line\",," + (i % 2 ? "\r\n" : "\n");
    lines += 2;
    want.push_back({plain, quoted, "", ""});
  }
  auto recs = readAll(text);
  ASSERT_EQ(recs.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(recs[i].fields, want[i]) << "record " << i;
    ASSERT_EQ(recs[i].line, startLines[i]) << "record " << i;
  }
  // A byte order mark is skipped only when all three of its bytes are there.
  EXPECT_EQ(readAll("\xEF\xBB" "a\n").front().fields, (std::vector<std::string>{"\xEF\xBB" "a"}));
}
