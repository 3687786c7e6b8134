// The plain texts of the database layer: literals, the catalogue line rule
// and the checks of catalogue values.
#include "db/CatalogueRows.h"
#include "db/SqlText.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

namespace {

struct LiteralCase {
    const char* name;
    QString st;
    int id;
    int il;
    QString expected;
};

class LiteralTest : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(LiteralTest, Literal)
{
    const LiteralCase& c = GetParam();
    EXPECT_EQ(SqlText::Literal(c.st, c.id, c.il), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LiteralTest,
    ::testing::Values(
        LiteralCase{"NumberEmptyIsNull", "", 1, 0, "NULL"},
        LiteralCase{"NumberKept", "-12.5e3", 1, 0, "-12.5e3"},
        LiteralCase{"NotANumberIsNull", "abc", 1, 0, "NULL"},
        LiteralCase{"NumberColumnTakesNoSql", "0), (999, 'INJECTED'", 1, 0, "NULL"},
        LiteralCase{"TextEmptyIsNull", "", 2, 4, "NULL"},
        LiteralCase{"TextCutToLength", "abcdef", 2, 4, "'abcd'"},
        LiteralCase{"TextShorterKept", "ab", 2, 4, "'ab'"},
        LiteralCase{"TextWithoutLengthIsEmpty", "abc", 2, 0, "''"},
        LiteralCase{"QuoteDoubled", "it's", 2, 40, "'it''s'"},
        LiteralCase{"QuotesNeverEndTheText", "x'); drop table Q; --", 2, 40, "'x''); drop table Q; --'"},
        LiteralCase{"CutBeforeQuoting", "O'Neil", 2, 2, "'O'''"},
        LiteralCase{"KanaKeptWhole", "ﾃｰﾌﾞﾙ", 2, 3, "'ﾃｰﾌ'"},
        LiteralCase{"OtherIdUnchanged", "", 3, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// What SQL reads as a number, and what it would read as something else.
TEST(SqlNumber, OnlyPlainNumbers)
{
    for (const char* text : {"0", "7", "-3", "+3", "1.5", ".5", "5.", "1e5", "2.5E-3", "-0.00"})
        EXPECT_TRUE(SqlText::IsNumber(QString::fromLatin1(text))) << text;
    for (const char* text : {"", "-", ".", "e5", "1e", "1e+", " 1", "1 ", "1,5", "0x1F", "1+1", "(1)", "1.2.3",
                             "NULL", "abc", "1; drop table X"})
        EXPECT_FALSE(SqlText::IsNumber(QString::fromLatin1(text))) << text;
}

TEST(CatalogueValue, IdentifiersTypeWordsAndNumbers)
{
    using namespace CatalogueRows;
    for (const char* text : {"A", "CNT", "_x", "YCL1", "a_b_9"})
        EXPECT_TRUE(IsPlainIdentifier(QString::fromLatin1(text))) << text;
    for (const char* text : {"", "1A", "A B", "A-B", "A;", "(select 1) as A", "\"A\"", "ＡＢ"})
        EXPECT_FALSE(IsPlainIdentifier(QString::fromUtf8(text))) << text;
    for (const char* text : {"Integer", "varchar", "Real", "double precision"})
        EXPECT_TRUE(IsTypeWord(QString::fromLatin1(text))) << text;
    for (const char* text : {"", " ", "varchar(4)", "a  b", "a b c", " Integer", "Integer ", "Int8",
                             "Integer); drop table X; --"})
        EXPECT_FALSE(IsTypeWord(QString::fromLatin1(text))) << text;
    EXPECT_EQ(WholeNumber("10000", 0, 10000), 10000);
    EXPECT_EQ(WholeNumber("0", 0, 10000), 0);
    EXPECT_EQ(WholeNumber("-1", -5, 5), -1);
    for (const char* text : {"10001", "-1", "", "4 or 1=1", "1.5", " 4", "2147483647", "99999999999999999999"})
        EXPECT_FALSE(WholeNumber(QString::fromLatin1(text), 0, 10000)) << text;
}

struct LineCase {
    const char* name;
    QString line;
    QStringList expected;
};

class CatalogueLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CatalogueLineTest, TblLine)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(SqlText::CatalogueValues(c.line, SqlText::TblTextFields()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CatalogueLineTest,
    ::testing::Values(
        LineCase{"EmptyFieldsAreNullLastIsEmptyText", "1,,3,,AYNK,", {"1", "NULL", "3", "NULL", "'AYNK'", "''"}},
        LineCase{"FullLine", "3,2,3,KABU,AYNK,日足株価", {"3", "2", "3", "'KABU'", "'AYNK'", "'日足株価'"}},
        LineCase{"QuotedCommaSplits", "1,1,3,KABU,\"A,B\",x", {"1", "1", "3", "'KABU'", "'\"A'", "'B\"'", "'x'"}},
        LineCase{"BlanksKept", " 1,1,3, K ,AYNK, x ", {" 1", "1", "3", "' K '", "'AYNK'", "' x '"}},
        LineCase{"SingleQuotesDoubled", "1,1,3,KABU,O'Neil,it's", {"1", "1", "3", "'KABU'", "'O''Neil'", "'it''s'"}},
        LineCase{"EmptyLine", "", {"''"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogueText, Inserts)
{
    EXPECT_EQ(SqlText::InsertAaatbn({"1", "NULL", "3", "NULL", "'AYNK'", "''"}),
              " Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  (1,NULL,3,NULL,'AYNK','')");
    // An empty line leaves the other slots empty: its statement cannot run.
    EXPECT_EQ(SqlText::InsertAaatbn({"''"}),
              " Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  ('',,,,,)");
    EXPECT_EQ(SqlText::InsertAaatst({"1", "2", "3", "4", "'CNT'", "'Integer'", "NULL", "5", "''"}),
              " Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO)  Values  "
              "(1,2,3,4,'CNT','Integer',NULL,5,'')");
}

TEST(CatalogueText, LookUps)
{
    EXPECT_EQ(SqlText::LookupTable("AYNK"), " select * from AAATBN  where TNAM = 'AYNK' ");
    EXPECT_EQ(SqlText::ColumnRows("3"), " select * from AAATST  where TBID = 3 order by CNT ");
    EXPECT_EQ(SqlText::TableCount("AYFS"),
              "select COUNT(*) as CNT from sqlite_master  where type = 'table' and name = 'AYFS' ");
    EXPECT_EQ(SqlText::TableNotFound("AYFS"), "AYFS ﾃｰﾌﾞﾙ名が見つかりません");
    EXPECT_EQ(SqlText::TableNotFound(""), " ﾃｰﾌﾞﾙ名が見つかりません");
}

}  // namespace

TEST(SqlTextTest, PriceUpdates)
{
    EXPECT_EQ(SqlText::UpdateText(SqlText::YclPiece(2, 123.45f), SqlText::WhereCnt(57)),
              QStringLiteral(" Update AYNK set  YCL2 = 123.45 where cnt = 57"));
    EXPECT_EQ(SqlText::UpdateText(SqlText::YclPiece(1, 1.5f) + QStringLiteral(", ") + SqlText::YclPiece(2, 2.25f),
                                  SqlText::WhereCnt(8)),
              QStringLiteral(" Update AYNK set  YCL1 = 1.50,  YCL2 = 2.25 where cnt = 8"));
    EXPECT_EQ(SqlText::YclPiece(6, 0.0f), QStringLiteral(" YCL6 = 0.00"));
    EXPECT_EQ(SqlText::YclPiece(3, 1399.125f), QStringLiteral(" YCL3 = 1399.13"));   // a tie goes up
}
