// Price files written by the tests into the current folder, in the form the
// real one has (Shift-JIS, CR LF, a header line and a trailing line).
#pragma once

#include "base/ShiftJis.h"
#include "prices/PriceFile.h"

#include <QDate>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

// The last day of DataLines: a Friday.
inline const QDate kLastDay(2020, 4, 17);

// Data lines of n days ending on kLastDay, closes 1000 + 10·i with a comma.
inline QStringList DataLines(int n)
{
    QStringList lines;
    for (int i = 1; i <= n; ++i) {
        const QDate day = kLastDay.addDays(i - n);
        const QString close = QStringLiteral("\"1,%1.25\"").arg(10 * i % 1000, 3, 10, QLatin1Char('0'));
        lines << day.toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(',') + close
                     + QStringLiteral(",\"1,000.00\",\"1,100.00\",\"900.50\"");
    }
    return lines;
}

// The price file of the folder (the current one when empty) with these data lines.
inline void WritePriceFile(const QStringList& data, const QString& folder = QString())
{
    QString text = QStringLiteral("日付,終値,始値,高値,安値\r\n");
    for (const QString& line : data)
        text += line + QStringLiteral("\r\n");
    text += QStringLiteral("※出典: テスト\r\n");
    QFile file(folder.isEmpty() ? QString::fromLatin1(kPriceFileName)
                                : folder + QLatin1Char('/') + QString::fromLatin1(kPriceFileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ShiftJis::Encode(text));
}
