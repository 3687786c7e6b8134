// The texts of the price commands and the window arithmetic: which elements
// a window reads, which rows its outputs reach, and every log line exactly.
#include "prices/PriceTexts.h"
#include "prices/Windows.h"

#include <QDate>
#include <QDir>
#include <QTime>
#include <gtest/gtest.h>

namespace {

TDateTime At(int y, int m, int d, int hh, int nn, int ss)
{
    return double(QDate(1899, 12, 30).daysTo(QDate(y, m, d))) + QTime(hh, nn, ss).msecsSinceStartOfDay() / 86400000.0;
}

TEST(PriceTextsTest, LogLines)
{
    const struct { QString got, want; } cases[] = {
        {ImportCountLine(5105), QStringLiteral("5105件 読込終了")},
        {LastDayLine(QStringLiteral("2020/04/17")), QStringLiteral("最終日: 2020/04/17")},
        {TimeFrameLine(), QStringLiteral("時間枠間隔: 日")},
        {TimeIntervalCaption(), QStringLiteral("時間間隔: 日")},
        {TrainingStartLine(At(2026, 12, 10, 9, 5, 1)), QStringLiteral("学習開始: 9:05:01")},
        {TrainingPassesLine(400), QStringLiteral("学習回数: 400回")},
        {TrainingPassesLine(0), QStringLiteral("学習回数: 0回")},
        {TrainingStoppedLine(37, 400), QStringLiteral("学習中止: 37/400回")},
        {WholePeriodStoppedLine(4096, 199993), QStringLiteral("全予測中止: 4096/199993行")},
        {TrainingEndLine(At(2026, 12, 10, 13, 7, 9)), QStringLiteral("学習終了: 07:09")},
        {TrainingDurationLine(QStringLiteral("00:03")), QStringLiteral("学習時間: 00:03")},
        {TrainingMseLine(QStringLiteral("0.000112763")), QStringLiteral("学習終了 MSE: 0.000112763")},
        {MseExplanationLine(), QStringLiteral("MSE: 平均二乗誤差")},
        {TrainingStampText(At(2026, 1, 2, 3, 4, 59)), QStringLiteral("2026/01/02 03:04")},
        {ActualCloseLine(QStringLiteral("2020/04/17"), 2874.56f), QStringLiteral("2020/04/17 終値実価格: 2874.56")},
        {ForecastHeadLine(QStringLiteral("2020/04/17")), QStringLiteral("2020/04/17 以降の終値予測")},
        {ForecastLine(QStringLiteral("2020/04/18"), 2870.1f), QStringLiteral("2020/04/18 終値: 2870.10")},
        // An exact tie rounds half away from zero.
        {ForecastLine(QStringLiteral("2020/04/18"), 1399.125f), QStringLiteral("2020/04/18 終値: 1399.13")},
        {ActualCloseLine(QStringLiteral("2020/04/17"), 0.125f), QStringLiteral("2020/04/17 終値実価格: 0.13")},
        {WholePeriodLine(), QStringLiteral("全期間の予測")},
        {TrainingNoDataText(), QStringLiteral("データ読込が未済です")},
        {PredictionNoDataText(), QStringLiteral("ﾃﾞｰﾀ読込が未済です")},
        {ImportNoticeText(), QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")},
        {PriceFileMissingText(QStringLiteral("/home/u/brelvan/./tarvok_stock_average_daily_jp.csv")),
         QStringLiteral("CSV ﾌｧｲﾙが見つかりませんでした\n")
             + QDir::toNativeSeparators(QStringLiteral("/home/u/brelvan/tarvok_stock_average_daily_jp.csv"))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
}

struct DurationCase {
    const char* name;
    TDateTime start, end;
    const char* want;
};

class DurationTest : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationTest, ShowsMinutesAndSeconds)
{
    EXPECT_EQ(TrainingDurationText(GetParam().start, GetParam().end), QString::fromLatin1(GetParam().want));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DurationTest,
    ::testing::Values(
        DurationCase{"ThreeSeconds", At(2026, 12, 10, 9, 0, 0), At(2026, 12, 10, 9, 0, 3), "00:03"},
        DurationCase{"HoursNotShown", At(2026, 12, 10, 9, 0, 0), At(2026, 12, 10, 10, 2, 5), "02:05"},
        DurationCase{"PastMidnight", At(2026, 12, 10, 23, 59, 50), At(2026, 12, 11, 0, 1, 5), "01:15"},
        DurationCase{"PastMidnightOfYearEnd", At(2026, 12, 31, 23, 58, 0), At(2027, 1, 1, 0, 0, 30), "02:30"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Windows ---------------------------------------------------------------------

TEST(WindowsTest, TrainingWithDefaultSizes)
{
    EXPECT_EQ(TrainingWindowCount(100, 7, 2), 90);
    EXPECT_EQ(TrainingWindowCount(12, 7, 2), 2);
    EXPECT_EQ(TrainingWindowCount(10, 7, 2), 0);
    EXPECT_EQ(TrainingWindowCount(3, 7, 2), 0);
    // The last window of Idn = 100 reads elements 89..95 and learns 96 and 97.
    const int last = TrainingWindowCount(100, 7, 2) - 1;
    EXPECT_EQ(last, 89);
    EXPECT_EQ(last + 7 - 1, 95);
    EXPECT_EQ(TrainingTarget(last, 7, 0), 96);
    EXPECT_EQ(TrainingTarget(last, 7, 1), 97);
    EXPECT_EQ(TrainingTarget(0, 7, 0), 7);
}

TEST(WindowsTest, NextDayForIdn100)
{
    const int first = NextDayFirstWindow(100, 7);
    EXPECT_EQ(first, 73);
    EXPECT_EQ(first + kNextDayWindows - 1, 92);
    EXPECT_EQ(NextDayRow(first, 7, 0), 81);        // YCL1 rows 81..100
    EXPECT_EQ(NextDayRow(92, 7, 0), 100);
    EXPECT_EQ(NextDayRow(first, 7, 1), 82);        // YCL2 rows 82..101
    EXPECT_EQ(NextDayRow(92, 7, 1), 101);
    EXPECT_EQ(NextDayRow(92, 7, 5), 105);          // YCL6 reaches Idn + 5
    EXPECT_EQ(NextDayX(first, 0), 74.0);           // series 0 and 1: X 74..93
    EXPECT_EQ(NextDayX(92, 0), 93.0);
    EXPECT_EQ(NextDayX(first, 1), 75.0);           // series 2: X 75..94
    EXPECT_EQ(NextDayX(92, 1), 94.0);
    EXPECT_EQ(NextDayRowsNeeded(7), 27);
}

TEST(WindowsTest, WholePeriodForIdn100)
{
    EXPECT_EQ(WholePeriodWindowCount(100, 7), 93);
    EXPECT_EQ(WholePeriodWindowCount(7, 7), 0);
    EXPECT_EQ(WholePeriodWindowCount(0, 7), 0);
    EXPECT_EQ(WholePeriodRow(0, 7), 8);            // YCL1/YCL2 rows 8..100
    EXPECT_EQ(WholePeriodRow(92, 7), 100);
    EXPECT_EQ(WholePeriodChartRow(0, 7, 0), 7);    // series 0/1 dates of rows 7..99
    EXPECT_EQ(WholePeriodChartRow(92, 7, 0), 99);
    EXPECT_EQ(WholePeriodChartRow(92, 7, 1), 100); // series 2 dates of rows 8..100
    EXPECT_EQ(WholePeriodX(92, 1), 93.0);
}

TEST(WindowsTest, BothPredictionsWriteOutputZeroOfTheSameWindowIntoYcl1)
{
    // For every row both commands write, YCL1 comes from the window starting at
    // row - Iil - 1 in both; YCL2 from windows one row apart.
    for (int row = 81; row <= 100; ++row) {
        const int wholeWindow = row - 7 - 1;
        EXPECT_EQ(WholePeriodRow(wholeWindow, 7), row);
        EXPECT_EQ(NextDayRow(wholeWindow, 7, 0), row);
        EXPECT_EQ(NextDayRow(wholeWindow - 1, 7, 1), row);
    }
}

// ---- The model file ------------------------------------------------------------------

TEST(PriceTextsTest, ModelFileNamesFollowTheRunNumber)
{
    EXPECT_EQ(SuggestedModelName(QStringLiteral("5")), QStringLiteral("model_0005.bin"));
    EXPECT_EQ(SuggestedModelName(QStringLiteral("12345")), QStringLiteral("model_12345.bin"));
    EXPECT_EQ(SuggestedModelName(QString()), QStringLiteral("model.bin"));     // nothing registered yet
    EXPECT_EQ(SuggestedModelName(QStringLiteral("x")), QStringLiteral("model.bin"));
    EXPECT_EQ(ModelFileFilter(), QStringLiteral("モデルファイル (*.bin)"));
}

}  // namespace
