#include "db/PriceUpdates.h"

#include "base/Errors.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QVariant>

namespace {

// A price as "#0.00" writes it: digits, a point and digits, perhaps a minus.
// SQLite reads such a literal as a REAL number, and CAST of the same text AS
// REAL reads it with the same conversion.
bool PlainDecimal(const QString& text)
{
    qsizetype i = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'))
            ++i;
        return i > start;
    };
    if (!digits() || i >= text.size() || text.at(i) != QLatin1Char('.'))
        return false;
    ++i;
    return digits() && i == text.size();
}

}  // namespace

TPriceUpdates::TPriceUpdates()
{
    try {
        const QSqlDatabase db = DataModule().CsqM();
        fBoth.emplace(db);
        fFirst.emplace(db);
    } catch (const EDatabaseError&) {
        return;
    }
    const QString where = QStringLiteral(" where cnt = ?");
    fPrepared = fBoth->prepare(SqlText::UpdateText(QStringLiteral(" YCL1 = cast(? as real),  YCL2 = cast(? as real)"), where))
        && fFirst->prepare(SqlText::UpdateText(QStringLiteral(" YCL1 = cast(? as real)"), where));
}

bool TPriceUpdates::Run(std::int32_t row, const QString& price1, const QString& price2)
{
    if (!fPrepared || !PlainDecimal(price1) || (!price2.isNull() && !PlainDecimal(price2)))
        return false;
    QSqlQuery& query = price2.isNull() ? *fFirst : *fBoth;
    int at = 0;
    query.bindValue(at++, price1);
    if (!price2.isNull())
        query.bindValue(at++, price2);
    query.bindValue(at, qlonglong(row));
    return query.exec();
}
