// The expression language without a database: literals, operators with the
// product's Null and type rules, Like, comparisons, built-in functions.
#include <gtest/gtest.h>

#include <cmath>

#include "jet/error.h"
#include "sql/collate.h"
#include "sql/convert.h"
#include "sql/engine.h"
#include "sql/parser.h"

using jet::DataType;
using jet::Value;
using sql::evaluate;

namespace {

std::string text(const std::string& expr) {
  Value v = evaluate(expr);
  EXPECT_TRUE(v.isText()) << expr << " gave type " << static_cast<int>(v.type());
  return v.bytes();
}

double num(const std::string& expr) {
  Value v = evaluate(expr);
  EXPECT_TRUE(v.isNumeric() || v.type() == DataType::DateTime) << expr;
  return v.toDouble();
}

bool truth(const std::string& expr) {
  Value v = evaluate(expr);
  EXPECT_EQ(v.type(), DataType::Boolean) << expr;
  return v.asBool();
}

bool isNull(const std::string& expr) { return evaluate(expr).isNull(); }

int errorOf(const std::string& expr) {
  try {
    evaluate(expr);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

std::string dateOf(const std::string& expr) {
  Value v = evaluate(expr);
  EXPECT_EQ(v.type(), DataType::DateTime) << expr;
  return jet::formatDateTime(v.asDouble());
}

}  // namespace

TEST(Literals, NumbersTextDatesAndTruth) {
  EXPECT_EQ(text("'It''s'"), "It's");
  EXPECT_EQ(text("\"say \"\"hi\"\"\""), "say \"hi\"");
  EXPECT_EQ(evaluate("12").type(), DataType::Long);
  EXPECT_DOUBLE_EQ(num("1.5e2"), 150.0);
  EXPECT_DOUBLE_EQ(num(".25"), 0.25);
  EXPECT_EQ(num("&H1F"), 31);
  EXPECT_EQ(dateOf("#1/31/2024#"), "2024-01-31 00:00:00");
  EXPECT_EQ(dateOf("#2024-01-31 13:45:10#"), "2024-01-31 13:45:10");
  EXPECT_EQ(dateOf("#3/4/99 2:05 PM#"), "1999-03-04 14:05:00");
  EXPECT_EQ(dateOf("#15-Jan-2003#"), "2003-01-15 00:00:00");
  EXPECT_TRUE(truth("True"));
  EXPECT_TRUE(truth("Yes"));
  EXPECT_TRUE(truth("On"));
  EXPECT_FALSE(truth("Off"));
  EXPECT_FALSE(truth("No"));
  EXPECT_TRUE(isNull("Null"));
  EXPECT_EQ(evaluate("True").type(), DataType::Boolean);
  EXPECT_EQ(num("True + 0"), -1);
}

TEST(Operators, ArithmeticAndPrecedence) {
  EXPECT_EQ(num("1 + 2 * 3"), 7);
  EXPECT_EQ(num("(1 + 2) * 3"), 9);
  EXPECT_EQ(num("-2 ^ 2"), -4);       // ^ binds tighter than unary minus
  EXPECT_EQ(num("2 ^ 3 ^ 2"), 64);    // left to right
  EXPECT_EQ(num("7 \\ 2"), 3);
  EXPECT_EQ(num("7.5 \\ 2"), 4);      // operands rounded to even first: 8 \ 2
  EXPECT_EQ(num("-7 Mod 3"), -1);
  EXPECT_EQ(num("10 Mod 4 * 2"), 2);  // * before Mod
  EXPECT_DOUBLE_EQ(num("7 / 2"), 3.5);
  EXPECT_EQ(evaluate("7 / 2").type(), DataType::Double);
  EXPECT_EQ(evaluate("32767 + 1").type(), DataType::Long);
  EXPECT_EQ(evaluate("CInt(32767) + CInt(1)").type(), DataType::Long);  // widened, not an overflow
  EXPECT_EQ(evaluate("CInt(2) + CInt(3)").type(), DataType::Integer);
  EXPECT_EQ(evaluate("CCur(1.5) * 2").type(), DataType::Currency);
  EXPECT_EQ(evaluate("CCur(1.5) * 2").asInt(), 30000);
  EXPECT_EQ(evaluate("CCur(1) + 0.5").type(), DataType::Double);
  EXPECT_EQ(num("'3' + 4"), 7);       // text that reads as a number
  EXPECT_EQ(text("'3' + '4'"), "34"); // two texts concatenate
  EXPECT_EQ(errorOf("'abc' * 2"), 3464);
}

TEST(Operators, DatesInArithmetic) {
  EXPECT_EQ(dateOf("#1/30/2024# + 2"), "2024-02-01 00:00:00");
  EXPECT_EQ(num("#3/1/2024# - #2/1/2024#"), 29);
  EXPECT_EQ(evaluate("#3/1/2024# - #2/1/2024#").type(), DataType::Double);
  EXPECT_EQ(dateOf("#3/1/2024# - 1"), "2024-02-29 00:00:00");
}

TEST(Operators, NullPropagation) {
  EXPECT_TRUE(isNull("Null + 1"));
  EXPECT_TRUE(isNull("1 - Null"));
  EXPECT_TRUE(isNull("Null * 0"));
  EXPECT_TRUE(isNull("Null = Null"));
  EXPECT_TRUE(isNull("Null <> 1"));
  EXPECT_TRUE(isNull("-Null"));
  EXPECT_TRUE(isNull("Not Null"));
  EXPECT_EQ(text("'a' & Null & 'b'"), "ab");  // & takes Null as empty text
  EXPECT_TRUE(isNull("Null & Null"));
  EXPECT_FALSE(truth("False And Null"));
  EXPECT_TRUE(isNull("True And Null"));
  EXPECT_TRUE(truth("True Or Null"));
  EXPECT_TRUE(isNull("False Or Null"));
  EXPECT_TRUE(isNull("True Xor Null"));
  EXPECT_TRUE(truth("False Imp Null"));
  EXPECT_TRUE(isNull("True Imp Null"));
  EXPECT_TRUE(truth("True Eqv True"));
  EXPECT_FALSE(truth("True Eqv False"));
  EXPECT_TRUE(truth("True Xor False"));
  EXPECT_TRUE(isNull("Null Between 1 And 2"));
  EXPECT_TRUE(isNull("3 In (1, Null)"));
  EXPECT_TRUE(truth("1 In (1, Null)"));
  EXPECT_TRUE(truth("Null Is Null"));
  EXPECT_FALSE(truth("1 Is Null"));
  EXPECT_TRUE(truth("1 Is Not Null"));
}

TEST(Comparison, TextWithoutRegardToCase) {
  EXPECT_TRUE(truth("'abc' = 'ABC'"));
  EXPECT_TRUE(truth("'Paris' < 'rome'"));
  EXPECT_TRUE(truth("'apple' < 'Banana'"));
  EXPECT_TRUE(truth("'Zürich' = 'ZÜRICH'"));
  EXPECT_FALSE(truth("'resume' = 'résumé'"));          // accents matter for equality
  EXPECT_TRUE(truth("'résumé' < 'resumes'"));          // but sort near the plain letters
  EXPECT_TRUE(truth("'co-op' < 'coop' Or 'co-op' > 'coop'"));
  EXPECT_LT(sql::compareText("co-op", "coops"), 0);    // hyphen ignored when ordering
  EXPECT_TRUE(truth("'10' < '9'"));                    // text compares as text
}

TEST(Comparison, QuotedValueAgainstNumberOrDate) {
  EXPECT_TRUE(truth("30 = '30'"));
  EXPECT_TRUE(truth("31 > '30'"));
  EXPECT_TRUE(truth("'4' < 30"));                       // the number decides: 4 < 30
  EXPECT_TRUE(truth("#1/2/2020# > '1/1/2020'"));
  EXPECT_TRUE(truth("#1/2/2020# = '2020-01-02'"));
  EXPECT_EQ(errorOf("30 = 'thirty'"), 3464);
  EXPECT_EQ(errorOf("#1/2/2020# = 'someday'"), 3464);
  EXPECT_TRUE(truth("True = 'True'"));
}

TEST(Like, Patterns) {
  EXPECT_TRUE(truth("'Paris' Like 'p*'"));
  EXPECT_TRUE(truth("'Paris' Like '*RIS'"));
  EXPECT_TRUE(truth("'Paris' Like 'P?ris'"));
  EXPECT_FALSE(truth("'Paris' Like 'P?is'"));
  EXPECT_TRUE(truth("'R2D2' Like 'R#D#'"));
  EXPECT_FALSE(truth("'RxD2' Like 'R#D#'"));
  EXPECT_TRUE(truth("'b' Like '[a-c]'"));
  EXPECT_FALSE(truth("'d' Like '[a-c]'"));
  EXPECT_TRUE(truth("'d' Like '[!a-c]'"));
  EXPECT_TRUE(truth("'a*b' Like 'a[*]b'"));
  EXPECT_FALSE(truth("'axb' Like 'a[*]b'"));
  EXPECT_TRUE(truth("'abc' Not Like 'x*'"));
  EXPECT_TRUE(truth("'' Like '*'"));
  EXPECT_TRUE(truth("'aXbXc' Like '*x*x*'"));
  EXPECT_TRUE(isNull("Null Like '*'"));
  EXPECT_EQ(errorOf("'a' Like '[a-'"), 3075);
}

TEST(Functions, ProgramFlow) {
  EXPECT_EQ(text("IIf(1 > 2, 'yes', 'no')"), "no");
  EXPECT_EQ(num("IIf(Null, 1, 2)"), 2);
  EXPECT_EQ(num("IIf(True, 1, 1 / 0)"), 1);  // only the chosen branch runs
  EXPECT_EQ(num("Nz(Null, 5)"), 5);
  EXPECT_EQ(text("Nz(Null)"), "");
  EXPECT_EQ(num("Nz(3, 5)"), 3);
  EXPECT_EQ(text("Switch(1 > 2, 'a', 2 > 1, 'b')"), "b");
  EXPECT_TRUE(isNull("Switch(False, 1)"));
  EXPECT_EQ(text("Choose(2, 'x', 'y', 'z')"), "y");
  EXPECT_TRUE(isNull("Choose(4, 'x', 'y', 'z')"));
  EXPECT_TRUE(truth("IsNull(Null)"));
  EXPECT_TRUE(truth("IsNumeric('12.5')"));
  EXPECT_FALSE(truth("IsNumeric('12x')"));
  EXPECT_TRUE(truth("IsDate('2024-02-29')"));
  EXPECT_FALSE(truth("IsDate('2023-02-29')"));
}

TEST(Functions, Text) {
  EXPECT_EQ(text("Left('Hello', 2)"), "He");
  EXPECT_EQ(text("Right('Hello', 3)"), "llo");
  EXPECT_EQ(text("Mid('Hello', 2, 3)"), "ell");
  EXPECT_EQ(text("Mid('Hello', 4)"), "lo");
  EXPECT_EQ(text("Mid('Hello', 9)"), "");
  EXPECT_EQ(text("Left('Zürich', 2)"), "Zü");
  EXPECT_EQ(num("Len('Zürich')"), 6);
  EXPECT_TRUE(isNull("Len(Null)"));
  EXPECT_EQ(num("InStr('Hello', 'L')"), 3);   // without regard to case
  EXPECT_EQ(num("InStr(4, 'Hello', 'l')"), 4);
  EXPECT_EQ(num("InStr(1, 'Hello', 'L', 0)"), 0);  // binary compare
  EXPECT_EQ(num("InStrRev('a.b.c', '.')"), 4);
  EXPECT_EQ(text("Replace('a-b-c', '-', '+')"), "a+b+c");
  EXPECT_EQ(text("Replace('aXbx', 'x', '')"), "ab");
  EXPECT_EQ(text("Trim('  a b  ')"), "a b");
  EXPECT_EQ(text("LTrim('  a ')"), "a ");
  EXPECT_EQ(text("RTrim('  a ')"), "  a");
  EXPECT_EQ(text("UCase('straße é')"), "STRAßE É");
  EXPECT_EQ(text("LCase('ÀB')"), "àb");
  EXPECT_EQ(num("StrComp('abc', 'ABC')"), 0);
  EXPECT_EQ(num("StrComp('abc', 'ABC', 0)"), 1);
  EXPECT_EQ(num("StrComp('a', 'b')"), -1);
  EXPECT_EQ(text("StrConv('hello wORLD', 3)"), "Hello World");
  EXPECT_EQ(text("Space(3)"), "   ");
  EXPECT_EQ(text("String(3, 'xy')"), "xxx");
  EXPECT_EQ(num("Asc('A')"), 65);
  EXPECT_EQ(text("Chr(65)"), "A");
  EXPECT_EQ(text("Chr(128)"), "€");
  EXPECT_EQ(errorOf("Left('abc', -1)"), 5);
}

TEST(Functions, Conversion) {
  EXPECT_EQ(num("Val('12abc')"), 12);
  EXPECT_EQ(num("Val(' 1 2 3')"), 123);
  EXPECT_EQ(num("Val('&HFF')"), 255);
  EXPECT_EQ(num("Val('abc')"), 0);
  EXPECT_DOUBLE_EQ(num("Val('1.5e1x')"), 15);
  EXPECT_EQ(text("Str(12)"), " 12");
  EXPECT_EQ(text("Str(-12)"), "-12");
  EXPECT_EQ(text("CStr(1.5)"), "1.5");
  EXPECT_EQ(text("CStr(#2/3/2024#)"), "2/3/2024");
  EXPECT_EQ(text("CStr(#2/3/2024 14:05:00#)"), "2/3/2024 2:05:00 PM");
  EXPECT_EQ(text("CStr(True)"), "True");
  EXPECT_EQ(text("CStr(1E+20)"), "1E+20");
  EXPECT_EQ(evaluate("CInt(2.5)").asInt(), 2);   // round half to even
  EXPECT_EQ(evaluate("CInt(3.5)").asInt(), 4);
  EXPECT_EQ(evaluate("CInt('12')").type(), DataType::Integer);
  EXPECT_EQ(errorOf("CInt(40000)"), 3421);
  EXPECT_EQ(evaluate("CLng(1e9)").asInt(), 1000000000);
  EXPECT_EQ(evaluate("CByte(255)").type(), DataType::Byte);
  EXPECT_EQ(errorOf("CByte(256)"), 3421);
  EXPECT_EQ(evaluate("CCur('1.23456')").asInt(), 12346);
  EXPECT_EQ(evaluate("CSng(1.5)").type(), DataType::Single);
  EXPECT_EQ(evaluate("CDbl('2.5')").toDouble(), 2.5);
  EXPECT_EQ(dateOf("CDate('March 5, 2001')"), "2001-03-05 00:00:00");
  EXPECT_TRUE(truth("CBool('yes')"));
  EXPECT_FALSE(truth("CBool(0)"));
  EXPECT_EQ(evaluate("CVar(5)").asInt(), 5);
  EXPECT_EQ(errorOf("CDbl('x')"), 3464);
}

TEST(Functions, Math) {
  EXPECT_EQ(num("Int(-2.5)"), -3);
  EXPECT_EQ(num("Fix(-2.5)"), -2);
  EXPECT_EQ(num("Abs(-3)"), 3);
  EXPECT_EQ(num("Sgn(-0.1)"), -1);
  EXPECT_EQ(num("Sqr(16)"), 4);
  EXPECT_EQ(errorOf("Sqr(-1)"), 5);
  EXPECT_DOUBLE_EQ(num("Round(2.5)"), 2);
  EXPECT_DOUBLE_EQ(num("Round(3.5)"), 4);
  EXPECT_DOUBLE_EQ(num("Round(2.675, 2)"), 2.68);  // written as 2.675, rounds as the decimal
  EXPECT_DOUBLE_EQ(num("Round(1.125, 2)"), 1.12);
  EXPECT_DOUBLE_EQ(num("Round(-1.5)"), -2);
  EXPECT_EQ(evaluate("Round(CCur(2.345), 2)").asInt(), 23400);
  EXPECT_NEAR(num("Exp(1)"), 2.718281828, 1e-9);
  EXPECT_NEAR(num("Log(Exp(2))"), 2, 1e-12);
  EXPECT_EQ(errorOf("Log(0)"), 5);
}

TEST(Functions, Dates) {
  EXPECT_EQ(num("Year(#7/4/1999#)"), 1999);
  EXPECT_EQ(num("Month(#7/4/1999#)"), 7);
  EXPECT_EQ(num("Day(#7/4/1999#)"), 4);
  EXPECT_EQ(num("Hour(#7/4/1999 13:14:15#)"), 13);
  EXPECT_EQ(num("Minute(#7/4/1999 13:14:15#)"), 14);
  EXPECT_EQ(num("Second(#7/4/1999 13:14:15#)"), 15);
  EXPECT_EQ(num("Year('2001-02-03')"), 2001);
  EXPECT_EQ(num("Weekday(#7/4/1999#)"), 1);      // a Sunday
  EXPECT_EQ(num("Weekday(#7/4/1999#, 2)"), 7);   // weeks starting Monday
  EXPECT_EQ(text("WeekdayName(1)"), "Sunday");
  EXPECT_EQ(text("WeekdayName(1, True, 2)"), "Mon");
  EXPECT_EQ(text("MonthName(2)"), "February");
  EXPECT_EQ(text("MonthName(12, True)"), "Dec");
  EXPECT_EQ(num("DatePart('q', #8/15/2020#)"), 3);
  EXPECT_EQ(num("DatePart('y', #2/1/2020#)"), 32);
  EXPECT_EQ(num("DatePart('ww', #1/5/2020#)"), 2);
  EXPECT_EQ(dateOf("DateAdd('m', 1, #1/31/2024#)"), "2024-02-29 00:00:00");
  EXPECT_EQ(dateOf("DateAdd('yyyy', -1, #2/29/2024#)"), "2023-02-28 00:00:00");
  EXPECT_EQ(dateOf("DateAdd('h', 25, #1/1/2024#)"), "2024-01-02 01:00:00");
  EXPECT_EQ(dateOf("DateAdd('d', -1, #1/1/1900#)"), "1899-12-31 00:00:00");
  EXPECT_EQ(dateOf("DateAdd('d', -3, #1/1/1900 06:00#)"), "1899-12-29 06:00:00");
  EXPECT_EQ(num("DateDiff('d', #1/1/2024#, #3/1/2024#)"), 60);
  EXPECT_EQ(num("DateDiff('m', #1/31/2024#, #2/1/2024#)"), 1);
  EXPECT_EQ(num("DateDiff('yyyy', #12/31/2023#, #1/1/2024#)"), 1);
  EXPECT_EQ(num("DateDiff('h', #1/1/2024 23:59#, #1/2/2024 00:01#)"), 1);
  EXPECT_EQ(num("DateDiff('ww', #1/6/2024#, #1/7/2024#)"), 1);  // Saturday to Sunday
  EXPECT_EQ(num("DateDiff('d', #3/1/2024#, #1/1/2024#)"), -60);
  EXPECT_EQ(dateOf("DateSerial(2024, 13, 1)"), "2025-01-01 00:00:00");
  EXPECT_EQ(dateOf("DateSerial(2024, 3, 0)"), "2024-02-29 00:00:00");
  EXPECT_EQ(dateOf("DateSerial(99, 1, 1)"), "1999-01-01 00:00:00");
  EXPECT_EQ(dateOf("TimeSerial(13, 70, 0)"), "1899-12-30 14:10:00");
  EXPECT_EQ(dateOf("DateValue('2024-05-06 10:00')"), "2024-05-06 00:00:00");
  EXPECT_EQ(dateOf("TimeValue('2024-05-06 10:00')"), "1899-12-30 10:00:00");
  EXPECT_GT(num("Year(Now())"), 2020);
  EXPECT_EQ(num("Date() - Int(Now())"), 0);
  EXPECT_EQ(errorOf("DateAdd('x', 1, #1/1/2020#)"), 5);
}

TEST(Functions, Format) {
  EXPECT_EQ(text("Format(#7/4/1999 13:05:09#, 'yyyy-mm-dd hh:nn:ss')"), "1999-07-04 13:05:09");
  EXPECT_EQ(text("Format(#7/4/1999#, 'dddd, mmmm d, yyyy')"), "Sunday, July 4, 1999");
  EXPECT_EQ(text("Format(#7/4/1999#, 'Long Date')"), "Sunday, July 4, 1999");
  EXPECT_EQ(text("Format(#7/4/1999#, 'Short Date')"), "7/4/1999");
  EXPECT_EQ(text("Format(#7/4/1999#, 'Medium Date')"), "04-Jul-99");
  EXPECT_EQ(text("Format(#7/4/1999 13:05#, 'h:mm AM/PM')"), "1:05 PM");
  EXPECT_EQ(text("Format(#7/4/1999 13:05#, 'Short Time')"), "13:05");
  EXPECT_EQ(text("Format(#7/4/1999#, 'mmm yy')"), "Jul 99");
  EXPECT_EQ(text("Format(#7/4/1999#, 'q')"), "3");
  EXPECT_EQ(text("Format(1234.5, 'Currency')"), "$1,234.50");
  EXPECT_EQ(text("Format(-1234.5, 'Currency')"), "($1,234.50)");
  EXPECT_EQ(text("Format(1234.5, 'Fixed')"), "1234.50");
  EXPECT_EQ(text("Format(1234.5, 'Standard')"), "1,234.50");
  EXPECT_EQ(text("Format(0.256, 'Percent')"), "25.60%");
  EXPECT_EQ(text("Format(1234.5, 'Scientific')"), "1.23E+03");
  EXPECT_EQ(text("Format(0, 'Yes/No')"), "No");
  EXPECT_EQ(text("Format(5, 'On/Off')"), "On");
  EXPECT_EQ(text("Format(5, '000')"), "005");
  EXPECT_EQ(text("Format(1234567.891, '#,##0.00')"), "1,234,567.89");
  EXPECT_EQ(text("Format(3.1, '0.###')"), "3.1");
  EXPECT_EQ(text("Format(-3, '0;(0)')"), "(3)");
  EXPECT_EQ(text("Format(0, '0;(0);\"zero\"')"), "zero");
  EXPECT_EQ(text("Format(12, '\"No. \"0')"), "No. 12");
  EXPECT_EQ(text("Format('abc', '>')"), "ABC");
  EXPECT_EQ(text("Format('12345', '@@@-@@')"), "123-45");
  EXPECT_EQ(text("Format(2.5)"), "2.5");
  EXPECT_TRUE(isNull("Format(Null, '0')"));
}

TEST(Functions, UnknownNamesAndArguments) {
  EXPECT_EQ(errorOf("NoSuchFunction(1)"), 3085);
  try {
    evaluate("NoSuchFunction(1)");
  } catch (const jet::Error& e) {
    EXPECT_NE(std::string(e.what()).find("NoSuchFunction"), std::string::npos);
  }
  EXPECT_EQ(errorOf("Left('a')"), 3075);
  EXPECT_EQ(errorOf("[Some Parameter] + 1"), 3061);
  sql::Params p{{"Some Parameter", Value::longInt(41)}};
  EXPECT_EQ(evaluate("[Some Parameter] + 1", p).asInt(), 42);
  EXPECT_EQ(errorOf("Sum(1)"), 0);  // an aggregate over the single row
}

TEST(Parser, StatementsRoundTrip) {
  const char* statements[] = {
      "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\nFROM (Table1 LEFT JOIN Table3 ON Table1.col1 = "
      "Table3.col1) INNER JOIN Table2 ON (Table3.col1 = Table2.col2) AND (Table3.col1 = Table2.col1)\nWHERE "
      "(((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\nORDER BY Table2.col1;",
      "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\nSELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS "
      "AvgOfcol2\nFROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS Table2_1 ON "
      "[Table2].[col1]=Table2_1.col3\nGROUP BY Table2_1.col1, [Table2].[col3]\nORDER BY [Table2].[col3]\nPIVOT "
      "[Table1].[col1] In ('a','b');",
      "Select Table1.col1, Table1.col2\nwhere Table1.col1 = \"foo\"\nUNION\nSelect Table2.col1, Table2.col2\nUNION ALL "
      "Select Table3.col1, Table3.col2\nwhere Table3.col3 > \"blah\";",
      "PARAMETERS [Start Date] DateTime, Cutoff Long;\nSELECT TOP 10 PERCENT a.x AS [My X], -b.y ^ 2, a.z & 'x' FROM T AS a, "
      "[Other Table] b WHERE a.d >= [Start Date] AND b.n Not Between 1 And 2 AND a.s Not Like 'x*' AND a.q Is Not Null "
      "AND Exists (SELECT * FROM U WHERE U.id = a.id) GROUP BY a.x, b.y, a.z HAVING Count(*) > 1 ORDER BY a.x DESC, 2;",
      "SELECT * FROM [SELECT id FROM T WHERE id > 3]. AS sub WHERE id In (SELECT id FROM T2) AND id = (SELECT Max(id) "
      "FROM T3);",
      "SELECT #1/2/2003 4:05:06 PM#, 1.5, 'it''s', Null, True, Not x Or y Xor z Eqv w Imp v, 7 \\ 2 Mod 3;",
  };
  for (const char* s : statements) {
    auto q = sql::parseStatement(s);
    std::string printed = sql::toSql(*q);
    auto q2 = sql::parseStatement(printed);
    EXPECT_EQ(sql::toSql(*q2), printed) << s;
  }
}

TEST(Parser, ActionStatementsAndErrors) {
  EXPECT_EQ(sql::parseStatement("UPDATE T SET a = 1")->kind, sql::StatementKind::Update);
  EXPECT_EQ(sql::parseStatement("DELETE FROM T")->kind, sql::StatementKind::Delete);
  EXPECT_EQ(sql::parseStatement("INSERT INTO T (a) VALUES (1)")->kind, sql::StatementKind::Insert);
  EXPECT_EQ(sql::parseStatement("SELECT a INTO T2 FROM T")->kind, sql::StatementKind::MakeTable);
  auto fails = [](const std::string& s) {
    try {
      sql::parseStatement(s);
    } catch (const jet::Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(fails("SELECT FROM T"), 3075);
  EXPECT_EQ(fails("SELECT a FROM [T"), 3075);
  EXPECT_EQ(fails("SELECT 'abc FROM T"), 3075);
  EXPECT_EQ(fails("SELECT a FROM T WHERE"), 3075);
  EXPECT_EQ(fails("GRANT x"), 3129);
  EXPECT_EQ(fails("SELECT a FROM T INNER JOIN U"), 3135);
}

TEST(Parser, TheFilterStatements) {
  // The statement the filter page builds: names without brackets, every
  // value quoted, conditions joined by "and".
  auto q = sql::parseStatement("Select * from [People] WHERE City = 'Paris' and Age > '30' ORDER BY City, Age");
  ASSERT_EQ(q->parts.size(), 1u);
  EXPECT_EQ(q->parts[0].from[0]->name, "People");
  EXPECT_EQ(q->orderBy.size(), 2u);
  auto q2 = sql::parseStatement("Select * from [Order Details] WHERE Name = 'O''Brien'");
  EXPECT_EQ(q2->parts[0].where->args[1]->value.bytes(), "O'Brien");
}
