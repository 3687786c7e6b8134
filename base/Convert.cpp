#include "base/Convert.h"

#include "base/Errors.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

const QDate kEpoch(1899, 12, 30);

QString Quoted(const QString& s) { return QStringLiteral("'") + s + QStringLiteral("'"); }

QDate DateOf(TDateTime value) { return kEpoch.addDays(static_cast<qint64>(std::floor(value))); }

// Milliseconds of the day's fraction, rounded to the nearest millisecond.
int MillisecondsOf(TDateTime value)
{
    const double fraction = value - std::floor(value);
    int ms = static_cast<int>(std::llround(fraction * 86400000.0));
    return ms >= 86400000 ? 86399999 : ms;
}

// For a well-formed decimal text whose value is beyond a double's range:
// true when it is too small (its magnitude below one), false when too large.
bool BelowOne(std::string_view text)
{
    const std::size_t e = std::min(text.find_first_of("eE"), text.size());
    const std::string_view mantissa = text.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return true;
    // The power of ten of the leading digit ("120" 2, "0.05" -2), then the exponent's.
    long long power = first < point ? static_cast<long long>(point - first) - 1
                                    : -static_cast<long long>(first - point);
    if (e + 1 < text.size()) {
        std::string_view exponent = text.substr(e + 1);
        const bool negative = exponent.front() == '-';
        if (exponent.front() == '-' || exponent.front() == '+')
            exponent.remove_prefix(1);
        long long n = 0;
        const auto read = std::from_chars(exponent.data(), exponent.data() + exponent.size(), n);
        if (read.ec != std::errc() || n > (1LL << 53))
            return negative;   // an exponent this long outweighs any number of digits
        power += negative ? -n : n;
    }
    return power < 0;
}

// A number in fixed point with `decimals` (at most 40) after the point.
QString FixedText(double value, int decimals)
{
    // Room for every finite double: 309 integer digits, a sign, the point, the decimals.
    char buffer[std::numeric_limits<double>::max_exponent10 + 3 + 40];
    const std::to_chars_result written
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return QString::fromLatin1(buffer, written.ptr - buffer);
}

// Whether the exact value lies halfway between two hundredths, its third
// decimal a 5 with nothing after it.  Such a number is n/1000 with n an odd
// multiple of 5, and a double is a binary fraction: it is then an odd number
// of eighths (0.125, 0.375, 0.625, 0.875 after the whole part).  Multiplying
// by 8 is exact.
bool IsHundredthTie(double value)
{
    const double eighths = value * 8;
    return std::isfinite(eighths) && std::trunc(eighths) == eighths && std::fmod(eighths, 2.0) != 0;
}

// The digits of a non-negative fixed-point text raised by one unit of the
// last digit: "1399.12" gives "1399.13", "9.99" "10.00".
QString OneUnitUp(QString text)
{
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.'))
            continue;
        if (c != QLatin1Char('9')) {
            text[i] = QChar(c.unicode() + 1);
            return text;
        }
        text[i] = QLatin1Char('0');
    }
    return QLatin1Char('1') + text;
}

}  // namespace

bool ReadDecimal(std::string_view text, double& value)
{
    // from_chars takes no plus sign of its own.
    std::string_view number = text;
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
        if (!number.empty() && number.front() == '-')
            return false;
    }
    if (number.empty())
        return false;
    double read = 0;
    const std::from_chars_result result
        = std::from_chars(number.data(), number.data() + number.size(), read, std::chars_format::general);
    if (result.ptr != number.data() + number.size())
        return false;
    if (result.ec == std::errc::result_out_of_range) {
        const std::string_view magnitude = number.front() == '-' ? number.substr(1) : number;
        if (!BelowOne(magnitude))
            return false;
        read = number.front() == '-' ? -0.0 : 0.0;
    } else if (result.ec != std::errc() || !std::isfinite(read)) {
        return false;
    }
    value = read;
    return true;
}

std::int32_t StrToInt(const QString& s)
{
    static const QRegularExpression pattern(QStringLiteral("^ *[+-]?[0-9]+$"));
    if (pattern.match(s).hasMatch()) {
        bool ok = false;
        const qlonglong value = s.trimmed().toLongLong(&ok);
        if (ok && value >= std::numeric_limits<std::int32_t>::min()
               && value <= std::numeric_limits<std::int32_t>::max())
            return static_cast<std::int32_t>(value);
    }
    throw EConvertError(Quoted(s) + QStringLiteral(" は整数ではありません"));
}

float StrToFloat(const QString& s)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (pattern.match(s).hasMatch()) {
        const QByteArray latin = s.toLatin1();
        double value = 0;
        if (ReadDecimal(std::string_view(latin.constData(), std::size_t(latin.size())), value)
            && std::fabs(value) <= std::numeric_limits<float>::max())
            return static_cast<float>(value);
    }
    throw EConvertError(Quoted(s) + QStringLiteral(" は浮動小数点数ではありません"));
}

TDateTime StrToDate(const QString& s)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4})/([0-9]{1,2})/([0-9]{1,2})$"));
    const QRegularExpressionMatch m = pattern.match(s);
    if (m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (date.isValid())
            return static_cast<TDateTime>(kEpoch.daysTo(date));
    }
    throw EConvertError(Quoted(s) + QStringLiteral(" は日付ではありません"));
}

QString DateToStr(TDateTime date) { return DateOf(date).toString(QStringLiteral("yyyy/MM/dd")); }

QString TimeToStr(TDateTime time)
{
    return QTime::fromMSecsSinceStartOfDay(MillisecondsOf(time)).toString(QStringLiteral("H:mm:ss"));
}

QString FormatDateTime(const QString& pattern, TDateTime value)
{
    const QDate date = DateOf(value);
    const QTime time = QTime::fromMSecsSinceStartOfDay(MillisecondsOf(value));
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    QString out;
    const QString upper = pattern.toUpper();
    for (int i = 0; i < upper.size();) {
        const QStringView rest = QStringView(upper).mid(i);
        if (rest.startsWith(u"YYYY")) { out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')); i += 4; }
        else if (rest.startsWith(u"MM")) { out += two(date.month()); i += 2; }
        else if (rest.startsWith(u"DD")) { out += two(date.day()); i += 2; }
        else if (rest.startsWith(u"HH")) { out += two(time.hour()); i += 2; }
        else if (rest.startsWith(u"NN")) { out += two(time.minute()); i += 2; }
        else if (rest.startsWith(u"SS")) { out += two(time.second()); i += 2; }
        else { out += pattern.at(i); ++i; }
    }
    return out;
}

QString FormatPrice(double value)
{
    // to_chars rounds the exact binary value to the nearer hundredth, which
    // is the rule wherever there is a nearer one; only a tie (which it would
    // round to even) is rounded here: its three decimals are exact, and the
    // third, a 5, goes up.
    if (IsHundredthTie(value)) {
        QString text = FixedText(std::fabs(value), 3);
        text.chop(1);
        text = OneUnitUp(text);
        return value < 0 ? QLatin1Char('-') + text : text;
    }
    QString text = FixedText(value, 2);
    if (text == QLatin1String("-0.00"))
        text = QStringLiteral("0.00");
    return text;
}

QString FormatGroupedPrice(double value)
{
    QString text = FormatPrice(value);
    const qsizetype digitsFrom = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = text.indexOf(QLatin1Char('.')) - 3; i > digitsFrom; i -= 3)
        text.insert(i, QLatin1Char(','));
    return text;
}

bool ReadPriceText(const QString& text, double& value)
{
    static const QRegularExpression grouped(QStringLiteral("^[+-]?[0-9]{1,3}(,[0-9]{3})+(\\.[0-9]*)?$"));
    const QString plain = grouped.match(text).hasMatch() ? QString(text).remove(QLatin1Char(',')) : text;
    // Any character beyond Latin-1 becomes '?', which no number holds.
    const QByteArray latin = plain.toLatin1();
    return ReadDecimal(std::string_view(latin.constData(), std::size_t(latin.size())), value);
}

QString FormatMse(float value)
{
    // Nine decimals are never fewer than the two characters "%2.9f" asks for.
    return FixedText(static_cast<double>(value), 9);
}

TDateTime Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<TDateTime>(kEpoch.daysTo(now.date()))
         + now.time().msecsSinceStartOfDay() / 86400000.0;
}
