// The conversions between texts and numbers, dates and times.  CTest runs
// this program a second time under a comma-decimal locale: every text here is
// the same in both runs.
#include "base/Convert.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

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
    EXPECT_EQ(StrToFloat("1e-400"), 0.0f);
    for (const char* bad : {"", "1,455.2", "1455,2", "1 455", "abc", "1e99", "nan", " 1"})
        EXPECT_THROW(StrToFloat(QString::fromUtf8(bad)), EConvertError) << bad;
}

TEST(ReadDecimal, ReadsAWholeTextWithAPoint)
{
    struct TCase {
        const char* Text;
        double Value;
    };
    const TCase good[] = {
        {"2874.56", 2874.56}, {"-0.5", -0.5}, {"+12", 12.0}, {"1.", 1.0}, {".5", 0.5}, {"1.5e3", 1500.0},
        {"2E-2", 0.02}, {"1e-400", 0.0}, {"-1e-400", -0.0}, {"0.000001e-99999999999999999999", 0.0},
    };
    for (const TCase& c : good) {
        double value = 99;
        EXPECT_TRUE(ReadDecimal(c.Text, value)) << c.Text;
        EXPECT_EQ(value, c.Value) << c.Text;
        EXPECT_EQ(std::signbit(value), std::signbit(c.Value)) << c.Text;
    }
    // The largest double written out in full, 309 digits before the point.
    const std::string largest = "17976931348623157" + std::string(292, '0') + ".0";
    double value = 0;
    EXPECT_TRUE(ReadDecimal(largest, value));
    EXPECT_EQ(value, 1.7976931348623157e308);
    for (const char* bad : {"", "+", "-", ".", "+-1", "2874,56", "1,455.22", " 1", "1 ", "1e", "1e+", "1e400",
                            "-1e400", "10e99999999999999999999", "inf", "nan", "0x10", "1.2.3", "٣"}) {
        double value = 99;
        EXPECT_FALSE(ReadDecimal(bad, value)) << bad;
        EXPECT_EQ(value, 99) << bad;
    }
}

// FormatPrice and FormatMse round as printf's "%.2f" and "%2.9f" do in the C
// locale, whatever locale the program runs in: printf under the C locale of
// this thread is the oracle.
TEST(Formats, RoundAsPrintfDoesInTheCLocale)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    ASSERT_NE(c, locale_t(nullptr));
    const locale_t previous = uselocale(c);
    const auto printed = [](const char* format, double value) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, format, value);
        return QString::fromLatin1(buffer);
    };
    std::mt19937 random(20200417);
    std::vector<float> values = {0.125f, 0.375f, 2.675f, 1.005f, -1.005f, 0.005f, 2874.56f, 1e20f, 3.4028235e38f,
                                 -3.4028235e38f, 1e-45f};
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            values.push_back(f);
        values.push_back(float(int(random() % 2000001) - 1000000) / 8);   // ties at the third decimal
    }
    for (float v : values) {
        QString price = printed("%.2f", v);
        if (price == QLatin1String("-0.00"))
            price = QStringLiteral("0.00");
        ASSERT_EQ(FormatPrice(v), price) << v;
        ASSERT_EQ(FormatMse(v), printed("%2.9f", v)) << v;
    }
    // A price beyond float's range is written whole, not cut short.
    ASSERT_EQ(FormatPrice(1e300), printed("%.2f", 1e300));
    EXPECT_EQ(FormatPrice(1e300).size(), 304);
    uselocale(previous);
    freelocale(c);
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
