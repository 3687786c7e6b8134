// The rules of the comparison with the previous close: the two settings'
// values, how many days a file can hold out, and the error figures of small
// sets of days worked out by hand.
#include "prices/Holdout.h"

#include "base/Errors.h"
#include "prices/PriceTexts.h"
#include "prices/Windows.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace {

struct TDaysCase {
    const char* text;
    std::int32_t days;   // -1: refused
};

TEST(HoldoutSettings, HoldoutDaysAreAWholeNumberOfZeroOrMore)
{
    // Typed with an input method: full-width digits, signs and blanks.
    const TDaysCase cases[] = {{"", 0},           {"  ", 0},          {"　", 0},       {"0", 0},
                               {"250", 250},      {" 12 ", 12},       {"+3", 3},         {"２５０", 250},
                               {"　１２　", 12},  {"＋３", 3},        {"99999999", 99999999},
                               {"-1", -1},        {"－１", -1},       {"1.5", -1},       {"abc", -1},
                               {"100000000", -1}, {"99999999999", -1}, {"1 2", -1}};
    for (const TDaysCase& c : cases) {
        SCOPED_TRACE(c.text);
        const QString text = QString::fromUtf8(c.text);
        if (c.days >= 0) {
            EXPECT_EQ(HoldoutDaysFromText(text), c.days);
            continue;
        }
        try {
            HoldoutDaysFromText(text);
            ADD_FAILURE() << "accepted";
        } catch (const EBrelvanError& e) {
            EXPECT_EQ(e.Message(),
                      "検証日数 '" + text + "' は 0 から 99999999 までの整数で指定してください (空欄か 0 なら検証しません)");
        }
    }
}

TEST(HoldoutSettings, AtLeastTheWindowsRowsAndTwentyStayForTraining)
{
    EXPECT_EQ(MaxHoldoutDays(5105, 7, 2), 5076);
    EXPECT_EQ(MaxHoldoutDays(29, 7, 2), 0);
    EXPECT_NO_THROW(CheckHoldoutDays(5076, 5105, 7, 2));
    EXPECT_NO_THROW(CheckHoldoutDays(0, 10, 7, 2));   // no hold-out asks for nothing
    const struct {
        std::int32_t days, Idn;
        const char* message;
    } refused[] = {
        {5077, 5105, "検証日数 5077 は多すぎます: 5105 行のﾃﾞｰﾀで学習に 29 行を残すと、検証日数は 5076 日までです"},
        {1, 29, "検証日数 1 は多すぎます: 29 行のﾃﾞｰﾀで学習に 29 行を残すと、検証日数は指定できません (空欄か 0 にしてください)"},
    };
    for (const auto& c : refused) {
        try {
            CheckHoldoutDays(c.days, c.Idn, 7, 2);
            ADD_FAILURE() << c.days << " accepted";
        } catch (const ERangeError& e) {
            EXPECT_EQ(e.Message(), QString::fromUtf8(c.message));
        }
    }
    // Held out days left out of the training as if the file ended before them.
    EXPECT_EQ(TrainingWindowCount(TrainingRows(5105, 250), 7, 2), 4845);
    EXPECT_EQ(HoldoutFirstRow(5105, 250), 4856);
    EXPECT_EQ(SameDayWindow(4856, 7), 4849);
    EXPECT_EQ(HoldoutMarkX(5105, 250, 7), 4848.5);
}

TEST(HoldoutSettings, ASeedIsAnyWholeNumberInThirtyTwoBits)
{
    EXPECT_EQ(SeedFromText(""), std::nullopt);
    EXPECT_EQ(SeedFromText(" "), std::nullopt);
    EXPECT_EQ(SeedFromText("1"), std::optional<std::uint64_t>(1));
    EXPECT_EQ(SeedFromText(" 2147483647"), std::optional<std::uint64_t>(2147483647));
    EXPECT_EQ(SeedFromText("-1"), std::optional<std::uint64_t>(~std::uint64_t(0)));
    EXPECT_EQ(SeedFromText("　－１２３ "), SeedFromText("-123"));
    for (const char* text : {"1e3", "x", "4294967296"}) {
        try {
            SeedFromText(QString::fromLatin1(text));
            ADD_FAILURE() << text << " accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("乱数シード '%1' は整数で指定してください (空欄なら時計の値を使います)")
                                       .arg(QString::fromLatin1(text)));
        }
    }
}

struct TFiguresCase {
    const char* name;
    std::vector<TDayPrediction> days;
    // Worked out by hand: MAE, RMSE and hit lines.
    const char* mae;
    const char* rmse;
    const char* hit;
};

class ErrorFiguresTest : public ::testing::TestWithParam<TFiguresCase> {};

TEST_P(ErrorFiguresTest, AreWorkedOutByHand)
{
    const TErrorFigures f = ErrorFigures(GetParam().days);
    EXPECT_EQ(f.Days, int(GetParam().days.size()));
    EXPECT_EQ(HoldoutMaeLine(f.ModelMae, f.BaselineMae), QString::fromUtf8(GetParam().mae));
    EXPECT_EQ(HoldoutRmseLine(f.ModelRmse, f.BaselineRmse), QString::fromUtf8(GetParam().rmse));
    EXPECT_EQ(HoldoutHitLine(f.Hits, f.ChangedDays), QString::fromUtf8(GetParam().hit));
}

INSTANTIATE_TEST_SUITE_P(
    Days, ErrorFiguresTest,
    ::testing::Values(
        // Errors of the model -1 and +5, of the baseline -2 and +3; up and
        // foreseen, down and missed.  RMSE √13 = 3.606 and √6.5 = 2.550, ratio √2.
        TFiguresCase{"TwoDays",
                     {{102, 100, 101}, {99, 102, 104}},
                     "検証 平均絶対誤差: 予測 3.00 / 前日終値 2.50 / 比 1.200",
                     "検証 二乗平均平方根誤差: 予測 3.61 / 前日終値 2.55 / 比 1.414",
                     "検証 方向的中率: 50.0%"},
        // A prediction on the previous close foresees no move: a miss.  The
        // unchanged day counts for the errors, not for the share.  Errors of
        // the model -1, -0.5, +1.25 (MAE 2.75 / 3, RMSE √0.9375), of the
        // baseline -1, 0, +2 (MAE 1, RMSE √(5/3)): RMSE ratio √0.5625 = 0.75.
        TFiguresCase{"FlatPredictionAndUnchangedDay",
                     {{101, 100, 100}, {100, 100, 99.5}, {98, 100, 99.25}},
                     "検証 平均絶対誤差: 予測 0.92 / 前日終値 1.00 / 比 0.917",
                     "検証 二乗平均平方根誤差: 予測 0.97 / 前日終値 1.29 / 比 0.750",
                     "検証 方向的中率: 50.0%"},
        // Nothing moved: no baseline error to divide by, no day to share.
        TFiguresCase{"NothingMoved",
                     {{100, 100, 100.5}, {100, 100, 99.5}},
                     "検証 平均絶対誤差: 予測 0.50 / 前日終値 0.00 / 比 -",
                     "検証 二乗平均平方根誤差: 予測 0.50 / 前日終値 0.00 / 比 -",
                     "検証 方向的中率: -%"},
        // Three hits of three.  Errors of the model -10, +20, -20 (MAE 50 / 3,
        // RMSE √300), of the baseline -30, +30, -60 (MAE 40, RMSE √1800).
        TFiguresCase{"AllForeseen",
                     {{130, 100, 120}, {100, 130, 120}, {160, 100, 140}},
                     "検証 平均絶対誤差: 予測 16.67 / 前日終値 40.00 / 比 0.417",
                     "検証 二乗平均平方根誤差: 予測 17.32 / 前日終値 42.43 / 比 0.408",
                     "検証 方向的中率: 100.0%"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorFigures, NoDayGivesZeros)
{
    const TErrorFigures f = ErrorFigures({});
    EXPECT_EQ(f.Days, 0);
    EXPECT_EQ(f.ModelMae, 0.0);
    EXPECT_EQ(f.ChangedDays, 0);
}

TEST(ErrorFigures, PredictionsCountAsTheyAreWritten)
{
    EXPECT_EQ(WrittenPrice(2874.5649f), 2874.56);
    EXPECT_EQ(WrittenPrice(-0.004f), 0.0);
    EXPECT_EQ(WrittenPrice(1.005f), 1.0);   // the float lies below 1.005
}

TEST(ErrorFigures, WholePeriodLineNamesItsErrors)
{
    EXPECT_EQ(WholePeriodMaeLine(24.5, 12.25), "全期間 平均絶対誤差: 予測 24.50 / 前日終値 12.25 / 比 2.000");
}

// The ratios and shares are written here (the prices by FormatPrice).
TEST(ErrorFigures, RatiosAndSharesUseAPointInEveryLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* locale : {"C", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, locale))
            continue;   // not installed here
        SCOPED_TRACE(locale);
        EXPECT_EQ(RatioText(1, 3), "0.333");
        EXPECT_EQ(RatioText(2, 1), "2.000");
        EXPECT_EQ(ShareText(2, 3), "66.7");
        EXPECT_EQ(HoldoutPeriodLine("2019/04/23", "2020/04/17", 250), "検証期間: 2019/04/23～2020/04/17 (250日)");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
