#include "base/Convert.h"

#include "base/Errors.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

}  // namespace

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
        char* end = nullptr;
        const double value = std::strtod(latin.constData(), &end);
        if (end == latin.constData() + latin.size() && std::isfinite(value)
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
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    QString text = QString::fromLatin1(buffer);
    if (text == QLatin1String("-0.00"))
        text = QStringLiteral("0.00");
    return text;
}

QString FormatMse(float value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%2.9f", static_cast<double>(value));
    return QString::fromLatin1(buffer);
}

TDateTime Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    return static_cast<TDateTime>(kEpoch.daysTo(now.date()))
         + now.time().msecsSinceStartOfDay() / 86400000.0;
}
