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

namespace {

// The oracle of "#0.00": the double's exact value m·2^e from its bits,
// times 100, rounded half away from zero in integer arithmetic.  For
// magnitudes below 2^60, where the 128-bit products hold.
QString ExactHundredths(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    const int biased = int((bits >> 52) & 0x7ff);
    std::uint64_t mantissa = bits & ((std::uint64_t(1) << 52) - 1);
    int exponent = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0)
        mantissa |= std::uint64_t(1) << 52;
    using u128 = unsigned __int128;
    u128 hundredths = u128(mantissa) * 100;   // |value| * 100 = hundredths * 2^exponent
    if (exponent >= 0) {
        hundredths <<= exponent;
    } else if (-exponent >= 120) {
        hundredths = 0;                        // below 2^-50: far from half a hundredth
    } else {
        const int shift = -exponent;
        const u128 rest = hundredths & ((u128(1) << shift) - 1);
        hundredths >>= shift;
        if (rest >= (u128(1) << (shift - 1)))
            ++hundredths;                      // half or more goes away from zero
    }
    std::string digits;
    for (u128 n = hundredths; n > 0 || digits.size() < 3; n /= 10)
        digits.insert(digits.begin(), char('0' + int(n % 10)));
    digits.insert(digits.size() - 2, ".");
    if (negative && hundredths != 0)
        digits.insert(0, "-");
    return QString::fromStdString(digits);
}

}  // namespace

// Ties of the third decimal and the numbers right beside them: only a double
// exactly on the tie rounds up; a decimal text that is no binary fraction
// rounds the way its double lies.
TEST(FormatPrice, RoundsTheExactValueHalfAwayFromZero)
{
    struct TCase {
        double Value;
        const char* Text;
    };
    const TCase cases[] = {
        {0.125, "0.13"},          {0.375, "0.38"},          {0.625, "0.63"},
        {0.875, "0.88"},          {1399.125, "1399.13"},    {-1399.125, "-1399.13"},
        {-0.125, "-0.13"},        {9.995, "9.99"},          {99.875, "99.88"},
        {99.995, "100.00"},       {999.999, "1000.00"},     {2.675, "2.67"},
        {1.005, "1.00"},          {0.005, "0.01"},          {1.015, "1.01"},
        {-2.675, "-2.67"},        {-0.004, "0.00"},         {-0.0, "0.00"},
        {std::nextafter(0.125, 0.0), "0.12"},               {std::nextafter(0.125, 1.0), "0.13"},
        {std::nextafter(-1399.125, 0.0), "-1399.12"},       {1399.125f, "1399.13"},
        {2874.5600586, "2874.56"}, {123.454, "123.45"},     {1e20, "100000000000000000000.00"},
        {4503599627370495.5, "4503599627370495.50"},        {1125899906842623.875, "1125899906842623.88"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FormatPrice(c.Value), QString::fromLatin1(c.Text)) << c.Value;
        EXPECT_EQ(ExactHundredths(c.Value), QString::fromLatin1(c.Text)) << c.Value;   // the oracle agrees
    }
    // A price beyond float's range is written whole, not cut short.
    EXPECT_EQ(FormatPrice(1e300).size(), 304);
    EXPECT_TRUE(FormatPrice(1e300).endsWith(".00"));
}

TEST(FormatPrice, AgreesWithTheExactOracleEverywhere)
{
    std::mt19937_64 random(20200417);
    std::vector<double> values;
    for (int i = 0; i < 20000; ++i) {
        const double eighths = double(std::int64_t(random() % 16000001) - 8000000) / 8;   // ties and their neighbours
        values.push_back(eighths);
        values.push_back(std::nextafter(eighths, 0.0));
        values.push_back(std::nextafter(eighths, 1e9));
        // Decimal texts with three decimals, as a price of 0.001 precision reads.
        values.push_back(double(std::int64_t(random() % 100000001) - 50000000) / 1000);
        float f;
        const std::uint32_t bits = std::uint32_t(random());
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f) && std::fabs(f) < 1e18f)
            values.push_back(f);
        values.push_back(std::ldexp(double(random() >> 11), int(random() % 80) - 90));
    }
    for (double v : values)
        ASSERT_EQ(FormatPrice(v), ExactHundredths(v)) << std::hexfloat << v;
}

TEST(FormatPrice, GroupsTheWholeDigitsForTheGrids)
{
    struct TCase {
        double Value;
        const char* Text;
    };
    const TCase cases[] = {
        {0, "0.00"},          {999.994, "999.99"},      {999.995, "1,000.00"}, {2749.98, "2,749.98"},
        {-1399.125, "-1,399.13"}, {-999.125, "-999.13"}, {1234567, "1,234,567.00"}, {123456.785, "123,456.79"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatGroupedPrice(c.Value), QString::fromLatin1(c.Text)) << c.Value;
}

TEST(ReadPriceText, ReadsPlainAndGroupedPrices)
{
    struct TCase {
        const char* Text;
        double Value;   // NaN: refused
    };
    const double refused = std::nan("");
    const TCase cases[] = {
        {"2,749.98", 2749.98}, {"2749.98", 2749.98}, {"-1,234,567", -1234567}, {"12,345.", 12345},
        {"1e3", 1000},         {"", refused},        {"2,74.98", refused},     {"1,2345.0", refused},
        {",123", refused},     {"1,234e5", refused}, {"２７４９", refused},    {" 12", refused},
    };
    for (const TCase& c : cases) {
        double value = -1;
        const bool read = ReadPriceText(QString::fromUtf8(c.Text), value);
        EXPECT_EQ(read, !std::isnan(c.Value)) << c.Text;
        if (read)
            EXPECT_EQ(value, c.Value) << c.Text;
        else
            EXPECT_EQ(value, -1) << c.Text;
    }
}

namespace {

// The C locale on this thread while it lives.  Windows' test programs never
// leave the C locale (nothing in them calls setlocale).
class TCLocale {
public:
#ifdef _WIN32
    bool Ok() const { return true; }
#else
    TCLocale() : fC(newlocale(LC_ALL_MASK, "C", locale_t(nullptr))), fPrevious(fC ? uselocale(fC) : locale_t(nullptr)) {}
    ~TCLocale()
    {
        if (fC) {
            uselocale(fPrevious);
            freelocale(fC);
        }
    }
    bool Ok() const { return fC != locale_t(nullptr); }
private:
    locale_t fC;
    locale_t fPrevious;
#endif
};

// printf's digits: MinGW's own printf where the system's C runtime would
// print zeros after the 17th digit.
template <class... T> int Printf(char* buffer, std::size_t size, const char* format, T... values)
{
#ifdef _WIN32
    return __mingw_snprintf(buffer, size, format, values...);
#else
    return std::snprintf(buffer, size, format, values...);
#endif
}

}  // namespace

// FormatMse rounds as printf's "%2.9f" does in the C locale, whatever locale
// the program runs in: printf under the C locale of this thread is the oracle.
TEST(FormatMse, RoundsAsPrintfDoesInTheCLocale)
{
    const TCLocale c;
    ASSERT_TRUE(c.Ok());
    std::mt19937 random(20200417);
    std::vector<float> values = {0.125f, 2.675f, 1e20f, 3.4028235e38f, -3.4028235e38f, 1e-45f};
    for (int i = 0; i < 20000; ++i) {
        std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            values.push_back(f);
    }
    for (float v : values) {
        char buffer[512];
        Printf(buffer, sizeof buffer, "%2.9f", double(v));
        ASSERT_EQ(FormatMse(v), QString::fromLatin1(buffer)) << v;
    }
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

TEST(Formats, ErrorsAndTimes)
{
    EXPECT_EQ(FormatMse(0.000112763f), QStringLiteral("0.000112763"));
    EXPECT_EQ(FormatMse(0.0f), QStringLiteral("0.000000000"));
    const TDateTime t = StrToDate("2026/12/10") + (9 * 3600 + 5 * 60 + 7) / 86400.0;
    EXPECT_EQ(TimeToStr(t), QStringLiteral("9:05:07"));
    EXPECT_EQ(FormatDateTime("YYYY/MM/DD HH:NN", t), QStringLiteral("2026/12/10 09:05"));
    EXPECT_EQ(FormatDateTime("NN:SS", t), QStringLiteral("05:07"));
}
