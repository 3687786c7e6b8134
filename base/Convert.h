// Conversions between texts, numbers and dates in the user's (Japanese)
// formats: short date yyyy/MM/dd, long time H:mm:ss, a point as decimal
// separator.  They are fixed here whatever the machine's locale says: no
// conversion here reads LANG, LC_ALL or LC_NUMERIC.
#pragma once

#include <QString>
#include <cstdint>
#include <string_view>

// Dates and times are day counts as doubles (whole days since 1899-12-30,
// the time of day as the fraction).
using TDateTime = double;

// A whole text read as a decimal number with a point: an optional sign,
// digits with an optional point (at least one digit), an optional exponent.
// Correctly rounded to a double; a number too small for one reads as zero.
// False, with `value` unchanged, for anything else: a blank, a comma, a
// number too large for a double, "inf", "nan", hexadecimal.
bool ReadDecimal(std::string_view text, double& value);

// Whole number in 32 bits: optional blanks before, optional sign, digits.
// Anything else raises EConvertError "'<s>' は整数ではありません".
std::int32_t StrToInt(const QString& s);

// Decimal number with a point: optional sign, digits, optional fraction and
// exponent; no blanks, no thousands separators.  Held as a 32-bit float.
// Anything else raises EConvertError "'<s>' は浮動小数点数ではありません".
float StrToFloat(const QString& s);

// Short date year/month/day with "/", month and day of one or two digits.
// A text that is no real calendar date raises EConvertError "'<s>' は日付ではありません".
TDateTime StrToDate(const QString& s);

// The short date of a day: yyyy/MM/dd.
QString DateToStr(TDateTime date);

// The long time of a day: H:mm:ss.
QString TimeToStr(TDateTime time);

// Formats a date-time with the pattern letters YYYY, MM, DD, HH, NN, SS
// (any case); every other character is copied as it stands.
QString FormatDateTime(const QString& pattern, TDateTime value);

// A price with the pattern "#0.00": at least one integer digit, exactly two
// decimals, no thousands separator.  The exact value of the double is rounded
// to the nearer hundredth, a tie away from zero (四捨五入): 1399.125 gives
// "1399.13", -0.125 "-0.13"; 2.675, whose double lies just below the tie,
// gives "2.67".  Zero is never written with a minus sign.
QString FormatPrice(double value);

// A price with the pattern "#,##0.00": as FormatPrice, the integer digits in
// groups of three ("2,749.98", "-1,234,567.00").
QString FormatGroupedPrice(double value);

// A price as a text holds it: a decimal number as ReadDecimal reads it, or
// one whose integer digits are grouped by commas in threes ("2,749.98").
// False, with `value` unchanged, for anything else.
bool ReadPriceText(const QString& text, double& value);

// The mean squared error with "%2.9f": fixed point, nine decimals.
QString FormatMse(float value);

// The current local date and time.
TDateTime Now();
