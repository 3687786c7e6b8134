// The price file's rules: encodings and line ends, strict comma splitting
// with quoted fields, the close and the date, the normalisation range and the
// whole-file check that runs before an import changes anything.
#include "base/Errors.h"
#include "base/ShiftJis.h"
#include "prices/PriceFile.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

namespace {

const QString kHeader = QStringLiteral("日付,終値,始値,高値,安値");
const QString kTrailer = QStringLiteral("※出典: テスト");

QByteArray Encoded(const QString& text, const char* encoding, QByteArray bom = {})
{
    QStringEncoder encoder(encoding);
    return bom + QByteArray(encoder.encode(text));
}

// ---- Encodings and line ends -------------------------------------------------

struct DecodeCase {
    const char* name;
    QByteArray bytes;
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTheSameLinesAndRows)
{
    const QStringList lines = SplitPriceLines(DecodePriceText(GetParam().bytes));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(lines[3], kTrailer);
    const TPriceFile file = ParsePriceLines(lines);
    ASSERT_EQ(file.Rows.size(), 2u);
    EXPECT_EQ(file.Rows[0].Close, QStringLiteral("1,455.22"));
    EXPECT_FLOAT_EQ(file.Rows[0].CloseValue, 1455.22f);
    EXPECT_EQ(file.Rows[1].Date, QStringLiteral("2000/01/04"));

    // Parsing the text in place reads the same lines and rows.
    const TPriceFile inPlace = ParsePriceText(DecodePriceText(GetParam().bytes));
    EXPECT_EQ(inPlace.LineCount, file.LineCount);
    ASSERT_EQ(inPlace.Rows.size(), file.Rows.size());
    for (std::size_t i = 0; i < file.Rows.size(); ++i) {
        const TPriceRow& a = inPlace.Rows[i];
        const TPriceRow& b = file.Rows[i];
        EXPECT_EQ(QStringList({a.Date, a.Close, a.Open, a.High, a.Low}),
                  QStringList({b.Date, b.Close, b.Open, b.High, b.Low}));
        EXPECT_EQ(a.Day, b.Day);
        EXPECT_EQ(a.CloseValue, b.CloseValue);
    }
}

QString Body(const char* eol)
{
    const QString e = QString::fromLatin1(eol);
    return kHeader + e + QStringLiteral("2000/01/03,\"1,455.22\",\"1,469.25\",\"1,478.00\",\"1,438.36\"") + e
         + QStringLiteral("2000/01/04,\"1,399.42\",\"1,455.22\",\"1,455.22\",\"1,397.43\"") + e + kTrailer + e;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, DecodeTest,
    ::testing::Values(
        DecodeCase{"ShiftJisCrLf", ShiftJis::Encode(Body("\r\n"))},
        DecodeCase{"ShiftJisLf", ShiftJis::Encode(Body("\n"))},
        DecodeCase{"ShiftJisCrOnly", ShiftJis::Encode(Body("\r"))},
        DecodeCase{"Utf8Bom", Encoded(Body("\r\n"), "UTF-8", QByteArray("\xEF\xBB\xBF"))},
        DecodeCase{"Utf16LeBom", Encoded(Body("\r\n"), "UTF-16LE", QByteArray("\xFF\xFE"))},
        DecodeCase{"Utf16BeBom", Encoded(Body("\n"), "UTF-16BE", QByteArray("\xFE\xFF"))},
        DecodeCase{"NoFinalLineBreak", ShiftJis::Encode(Body("\r\n").chopped(2))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParsePriceTextInPlaceTest, ReadsTheFieldsSplitPriceFieldsReads)
{
    // Several fields per line whose quotes are taken out, beside stretches of
    // the text; the rows outlive the text they were read from.
    const QStringList data{
        "2000/01/03,\"1,455.22\",\"a\"\"b\",\"c\"d,\"\"\"\"",
        "\"2000/01/04\",12,\"x\"y,\"\",\"p\"\"q\"\"r\"",
        "2000/01/05,13,\"open,\",\"\"\"hi\"\"\"tail,\"unclosed,low",
    };
    TPriceText file = ParsePriceTextInPlace((QStringList{kHeader} + data + QStringList{kTrailer})
                                                .join(QStringLiteral("\r\n")));
    ASSERT_EQ(file.Rows.size(), std::size_t(data.size()));
    for (int i = 0; i < data.size(); ++i) {
        const TPriceLine& row = file.Rows[std::size_t(i)];
        EXPECT_EQ((QStringList{row.Date.toString(), row.Close.toString(), row.Open.toString(),
                               row.High.toString(), row.Low.toString()}),
                  SplitPriceFields(data[i]).mid(0, 5))
            << i;
    }
    EXPECT_EQ(file.Rows[2].Day, ReadDate(QStringLiteral("2000/01/05")));
    EXPECT_EQ(file.Rows[0].CloseValue, 1455.22f);
}

TEST(SplitPriceLinesTest, KeepsEmptyLinesInsideAndMixedEnds)
{
    EXPECT_EQ(SplitPriceLines(QStringLiteral("a\r\n\nb\rc")),
              (QStringList{"a", "", "b", "c"}));
    EXPECT_EQ(SplitPriceLines(QString()), QStringList());
    EXPECT_EQ(SplitPriceLines(QStringLiteral("\r\n")), QStringList{QString()});
}

// ---- Fields ------------------------------------------------------------------

struct FieldsCase {
    const char* name;
    QString line;
    QStringList fields;
};

class FieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(FieldsTest, Splits)
{
    EXPECT_EQ(SplitPriceFields(GetParam().line), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Strict, FieldsTest,
    ::testing::Values(
        FieldsCase{"Plain", "a,b,c", {"a", "b", "c"}},
        FieldsCase{"BlanksBelongToFields", " a , b", {" a ", " b"}},
        FieldsCase{"QuotedComma", "x,\"1,455.22\",y", {"x", "1,455.22", "y"}},
        FieldsCase{"DoubledQuote", "\"say \"\"hi\"\"\",z", {"say \"hi\"", "z"}},
        FieldsCase{"TrailingComma", "a,b,", {"a", "b", ""}},
        FieldsCase{"LeadingComma", ",b", {"", "b"}},
        FieldsCase{"EmptyLine", "", {}},
        FieldsCase{"TabsStay", "a\tb,c", {"a\tb", "c"}},
        FieldsCase{"UnclosedQuoteRunsToEnd", "\"a,b", {"a,b"}},
        FieldsCase{"TextAfterClosingQuote", "\"a\"b,c", {"ab", "c"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Close, date, range ------------------------------------------------------

TEST(ReadCloseTest, RemovesCommasAndReadsDecimals)
{
    EXPECT_FLOAT_EQ(ReadClose(QStringLiteral("1,455.22")), 1455.22f);
    EXPECT_FLOAT_EQ(ReadClose(QStringLiteral("-3.5")), -3.5f);
    EXPECT_FLOAT_EQ(ReadClose(QStringLiteral("1.5e3")), 1500.0f);
    EXPECT_FLOAT_EQ(ReadClose(QStringLiteral("12,345")), 12345.0f);
    for (const char* bad : {"", "abc", "1 455", "1.2.3", "+"}) {
        try {
            ReadClose(QString::fromUtf8(bad));
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_TRUE(e.Message().endsWith(QStringLiteral(" は浮動小数点数ではありません"))) << bad;
        }
    }
}

TEST(ClosePriceTest, IsTheCloseAsWrittenToTheNearestDouble)
{
    EXPECT_EQ(ClosePrice(QStringLiteral("1,455.22")), 1455.22);
    EXPECT_EQ(ClosePrice(QStringLiteral("+3.5")), 3.5);
    EXPECT_EQ(ClosePrice(QStringLiteral("-1.5e3")), -1500.0);
    EXPECT_EQ(ClosePrice(QStringLiteral("28,745.61")), 28745.61);   // a float would hold 28745.609
    EXPECT_THROW(ClosePrice(QStringLiteral("1,0O0")), EConvertError);
    EXPECT_THROW(ClosePrice(QStringLiteral("１")), EConvertError);
}

TEST(ReadDateTest, ReadsYearMonthDayWithOneOrTwoDigits)
{
    EXPECT_EQ(DateToStr(ReadDate(QStringLiteral("2020/4/7"))), QStringLiteral("2020/04/07"));
    EXPECT_EQ(ReadDate(QStringLiteral("2020/04/17")), StrToDate(QStringLiteral("2020/04/17")));
    for (const char* bad : {"2020-04-17", "2020/02/30", "20/4/7", "2020/004/07", ""}) {
        try {
            ReadDate(QString::fromUtf8(bad));
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' は日付ではありません").arg(QString::fromUtf8(bad)));
        }
    }
}

struct RangeCase {
    const char* name;
    float lowest, highest;
    std::int32_t IrL, IrH;
};

class RangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTest, RoundsToMultiplesOfTen)
{
    const TPriceRange r = PriceRangeOf(GetParam().lowest, GetParam().highest);
    EXPECT_EQ(r.IrL, GetParam().IrL);
    EXPECT_EQ(r.IrH, GetParam().IrH);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, RangeTest,
    ::testing::Values(RangeCase{"Example", 15.3f, 98.7f, 10, 100},
                      RangeCase{"ExactMultiples", 20.0f, 90.0f, 20, 90},
                      RangeCase{"Sp500", 676.53f, 3386.15f, 670, 3390},
                      RangeCase{"NegativeLowTruncatesTowardZero", -15.5f, 5.0f, -10, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RangeTest, TooLargeIsARangeError)
{
    EXPECT_THROW(PriceRangeOf(-3e9f, 3e9f), ERangeError);
}

TEST(NormalizeTest, EndsMapToZeroAndOneAndBack)
{
    EXPECT_EQ(NormalizePrice(10.0f, 10, 100), 0.0f);
    EXPECT_EQ(NormalizePrice(100.0f, 10, 100), 1.0f);
    for (float x : {15.3f, 55.55f, 98.7f, 2874.56f})
        EXPECT_NEAR(RenormalizePrice(NormalizePrice(x, 10, 3390), 10, 3390), x, x * 1e-6f);
    EXPECT_EQ(NormalizePrice(50.0f, 0, 0), 0.0f);   // no range yet: no division by zero
}

// ---- The whole file ----------------------------------------------------------

QStringList Lines(std::initializer_list<const char*> data)
{
    QStringList lines{kHeader};
    for (const char* line : data)
        lines << QString::fromUtf8(line);
    lines << kTrailer;
    return lines;
}

TEST(ParsePriceLinesTest, SkipsFirstAndLastLineEvenWhenTheyAreData)
{
    const QStringList lines{"2000/01/01,1,1,1,1", "2000/01/02,15.3,a,b,c", "2000/01/03,98.7,,,",
                            "2000/01/04,5000,1,1,1"};
    const TPriceFile file = ParsePriceLines(lines);
    EXPECT_EQ(file.LineCount, 4);
    ASSERT_EQ(file.Rows.size(), 2u);
    EXPECT_EQ(file.Range.IrL, 10);
    EXPECT_EQ(file.Range.IrH, 100);
    EXPECT_EQ(file.Rows[0].Open, QStringLiteral("a"));
    EXPECT_EQ(file.Rows[0].High, QStringLiteral("b"));
    EXPECT_EQ(file.Rows[0].Low, QStringLiteral("c"));
}

TEST(ParsePriceLinesTest, ZeroCloseRestartsTheRunningMinimum)
{
    // 50, then 0 (the minimum so far becomes 0, i.e. "none seen"), then 30 starts it again.
    const TPriceFile file = ParsePriceLines(Lines({"2000/01/03,50,,,", "2000/01/04,0,,,", "2000/01/05,30,,,"}));
    EXPECT_EQ(file.Lowest, 30.0f);
    EXPECT_EQ(file.Highest, 50.0f);
    EXPECT_EQ(file.Range.IrL, 30);
    EXPECT_EQ(file.Range.IrH, 50);
}

TEST(ParsePriceLinesTest, LeadingRangeIsThatOfTheFirstRowsAlone)
{
    const TPriceText file = ParsePriceTextInPlace(
        Lines({"2000/01/03,50,,,", "2000/01/04,0,,,", "2000/01/05,30,,,", "2000/01/06,95,,,", "2000/01/07,130,,,"})
            .join(QLatin1Char('\n')));
    EXPECT_EQ(file.Range.IrH, 130);
    const TPriceRange first = LeadingRange(file, 3);   // the running minimum restarts after the 0 here too
    EXPECT_EQ(first.IrL, 30);
    EXPECT_EQ(first.IrH, 50);
    EXPECT_EQ(LeadingRange(file, 4).IrH, 100);
    try {
        LeadingRange(file, 1);
        ADD_FAILURE() << "one close of 50 gave a range";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), EmptyRangeMessage(50));
    }
}

struct BadFileCase {
    const char* name;
    QStringList lines;
    QString message;
};

class BadFileTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadFileTest, NamesTheProblemAndTheLine)
{
    try {
        ParsePriceLines(GetParam().lines);
        ADD_FAILURE() << "no error";
    } catch (const EBrelvanError& e) {
        EXPECT_EQ(e.Message(), GetParam().message);
    }
    try {
        ParsePriceText(GetParam().lines.join(QStringLiteral("\r\n")));
        ADD_FAILURE() << "no error from the text";
    } catch (const EBrelvanError& e) {
        EXPECT_EQ(e.Message(), GetParam().message);
    }
}

const QString kNoDataLines = QStringLiteral("CSV ﾌｧｲﾙにﾃﾞｰﾀ行がありません (見出しと末尾の行のほかに行が必要です)");

INSTANTIATE_TEST_SUITE_P(
    Files, BadFileTest,
    ::testing::Values(
        BadFileCase{"BadDate", Lines({"2000/01/03,1,,,", "2000/13/01,2,,,"}),
                    QStringLiteral("'2000/13/01' は日付ではありません (3行目)")},
        BadFileCase{"BadClose", Lines({"2000/01/03,\"1,2x\",,,"}),
                    QStringLiteral("'12x' は浮動小数点数ではありません (2行目)")},
        BadFileCase{"TooFewFields", Lines({"2000/01/03,1,,,", "2000/01/04,2,3"}),
                    QStringLiteral("項目が 3 個しかありません (5 個必要です) (3行目)")},
        BadFileCase{"EmptyLineInside", Lines({"2000/01/03,1,,,", ""}),
                    QStringLiteral("項目が 0 個しかありません (5 個必要です) (3行目)")},
        BadFileCase{"EmptyRange", Lines({"2000/01/03,100,,,", "2000/01/04,100,,,"}),
                    QStringLiteral("終値の範囲が空のため正規化できません (下限 = 上限 = 100)")},
        BadFileCase{"AllZero", Lines({"2000/01/03,0,,,"}),
                    QStringLiteral("終値の範囲が空のため正規化できません (下限 = 上限 = 0)")},
        BadFileCase{"TwoLines", QStringList{kHeader, kTrailer}, kNoDataLines},
        BadFileCase{"OneLine", QStringList{kHeader}, kNoDataLines},
        BadFileCase{"Empty", QStringList{}, kNoDataLines}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
