#include "db/PriceTable.h"

#include "base/Errors.h"
#include "db/BrelvanDb.h"
#include "db/Connection.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
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

QString ErrorText(const QSqlError& error) { return DatabaseReason(error); }

void Execute(QSqlQuery& query)
{
    if (!query.exec())
        throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + ErrorText(query.lastError()));
}

}  // namespace

// ---- TPriceInserter ------------------------------------------------------------

TPriceInserter::TPriceInserter(TBrelvanDb& owner)
    : fOwner(owner), fCache(owner), fOne(DataModule().CsqM()), fMany(DataModule().CsqM())
{
    fPrepared = !fCache.Empty() && fCache.ColumnCount() <= kColumns && Prepare(fOne, 1)
        && Prepare(fMany, kInsertBatchRows);
    fPending.reserve(kInsertBatchRows);
}

void TPriceInserter::Insert(const TRow& values)
{
    if (!fPrepared || !fCache.Bindable(values.data())) {
        Flush();
        BuildText(values);
        ExecuteText();
        return;
    }
    fPending.push_back(values);
    if (int(fPending.size()) == kInsertBatchRows)
        Flush();
}

void TPriceInserter::Finish(const TRow& last)
{
    Flush();
    fOne.Query.finish();
    fMany.Query.finish();
    BuildText(last);
}

bool TPriceInserter::Prepare(TPrepared& insert, int rows)
{
    insert.Query.setForwardOnly(true);
    insert.Nulls.assign(std::size_t(rows * fCache.ColumnCount()), false);
    return insert.Query.prepare(fCache.PlaceholderInsert(rows));
}

void TPriceInserter::Flush()
{
    if (int(fPending.size()) == kInsertBatchRows) {
        for (int r = 0; r < kInsertBatchRows; ++r)
            fCache.Bind(fMany.Query, fPending[std::size_t(r)].data(), r * fCache.ColumnCount(), fMany.Nulls);
        Execute(fMany.Query);
    } else {
        for (const TRow& values : fPending) {
            fCache.Bind(fOne.Query, values.data(), 0, fOne.Nulls);
            Execute(fOne.Query);
        }
    }
    fPending.clear();
}

// The slots take texts of their own: they outlive the caller's texts.
void TPriceInserter::BuildText(const TRow& values)
{
    for (int k = 0; k < kColumns; ++k) {
        const QString& value = values[std::size_t(k)];
        fOwner.sa[11 + k] = value.isNull() ? QString() : QString(value.constData(), value.size());
    }
    fCache.Build();
}

void TPriceInserter::ExecuteText()
{
    fOwner.uexSqlM();
    if (!fOwner.LastSqlOk)
        throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + fOwner.LastSqlError);
}

// ---- TPriceUpdates --------------------------------------------------------------

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

// ---- TPriceRows -------------------------------------------------------------------

TPriceRows::TPriceRows(const QStringList& columns) : fQuery(DataModule().CsqM())
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (const QString& column : columns) {
        if (!identifier.match(column).hasMatch())
            throw ERangeError(QStringLiteral("価格テーブルの列名 '%1' は使えません").arg(column));
    }
    fQuery.setForwardOnly(true);
    const QString sql = SqlText::Select(QStringLiteral("AYNK"), columns.isEmpty() ? QStringList{QStringLiteral("*")} : columns,
                                        QStringLiteral(" order by CNT"));
    if (!fQuery.exec(sql))
        throw EDatabaseError(QStringLiteral("価格テーブルを読めません: ") + ErrorText(fQuery.lastError()));
    const QSqlRecord record = fQuery.record();
    for (int c = 0; c < record.count(); ++c)
        fColumns << record.fieldName(c);
}

bool TPriceRows::Next() { return fQuery.next(); }

QVariant TPriceRows::Value(int column) const
{
    if (column < 0 || column >= fColumns.size())
        throw ERangeError(QStringLiteral("価格テーブルの列番号 %1 は範囲外です").arg(column));
    const QVariant value = fQuery.value(column);
    return fQuery.isNull(column) ? QVariant() : value;
}
