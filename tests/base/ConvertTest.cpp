#include "base/Convert.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

TEST(StrToInt, AcceptsWholeNumbersAndNamesTheBadText)
{
    EXPECT_EQ(StrToInt("7"), 7);
    EXPECT_EQ(StrToInt(" -12"), -12);
    EXPECT_EQ(StrToInt("+2147483647"), 2147483647);
    for (const char* bad : {"", "x", "7 ", "1.5", "2147483648", "0x10"}) {
        try {
            StrToInt(QString::fromUtf8(bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' は整数ではありません").arg(QString::fromUtf8(bad)));
        }
    }
}

TEST(StrToFloat, ReadsPointDecimalsOnly)
{
    EXPECT_FLOAT_EQ(StrToFloat("1455.219971"), 1455.219971f);
    EXPECT_FLOAT_EQ(StrToFloat("-2.5e1"), -25.0f);
    EXPECT_FLOAT_EQ(StrToFloat(".5"), 0.5f);
    for (const char* bad : {"", "1,455.2", "1 455", "abc", "1e99", "nan", " 1"})
        EXPECT_THROW(StrToFloat(QString::fromUtf8(bad)), EConvertError) << bad;
}

TEST(StrToDate, ReadsYearMonthDayWithSlashes)
{
    EXPECT_EQ(StrToDate("1899/12/30"), 0.0);
    EXPECT_EQ(StrToDate("2020/4/17"), StrToDate("2020/04/17"));
    EXPECT_EQ(DateToStr(StrToDate("2020/4/7")), QStringLiteral("2020/04/07"));
    EXPECT_EQ(DateToStr(StrToDate("2020/04/17") + 1), QStringLiteral("2020/04/18"));
    for (const char* bad : {"", "2020-04-17", "2020/02/30", "20/4/17", "2020/4/17 "})
        EXPECT_THROW(StrToDate(QString::fromUtf8(bad)), EConvertError) << bad;
}

TEST(Formats, PricesErrorsAndTimes)
{
    EXPECT_EQ(FormatPrice(123.454), QStringLiteral("123.45"));
    EXPECT_EQ(FormatPrice(0.004), QStringLiteral("0.00"));
    EXPECT_EQ(FormatPrice(2874.5600586), QStringLiteral("2874.56"));
    EXPECT_EQ(FormatMse(0.000112763f), QStringLiteral("0.000112763"));
    EXPECT_EQ(FormatMse(0.0f), QStringLiteral("0.000000000"));
    const TDateTime t = StrToDate("2026/12/10") + (9 * 3600 + 5 * 60 + 7) / 86400.0;
    EXPECT_EQ(TimeToStr(t), QStringLiteral("9:05:07"));
    EXPECT_EQ(FormatDateTime("YYYY/MM/DD HH:NN", t), QStringLiteral("2026/12/10 09:05"));
    EXPECT_EQ(FormatDateTime("NN:SS", t), QStringLiteral("05:07"));
}
