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

TPriceUpdates::TPriceUpdates(TBrelvanDb& owner) : fOwner(owner)
{
    fPending.reserve(kUpdateBatchRows);
    try {
        fDb = DataModule().CsqM();
        fBlock.emplace(fDb);
        fBoth.emplace(fDb);
        fFirst.emplace(fDb);
    } catch (const EDatabaseError&) {
        return;
    }
    const QString where = QStringLiteral(" where cnt = ?");
    fPrepared = fBoth->prepare(SqlText::UpdateText(QStringLiteral(" YCL1 = cast(? as real),  YCL2 = cast(? as real)"), where))
        && fFirst->prepare(SqlText::UpdateText(QStringLiteral(" YCL1 = cast(? as real)"), where));
    // The values' columns are column1 (the row), column2 and column3 (the prices).
    QStringList rows;
    for (int r = 0; r < kUpdateBatchRows; ++r)
        rows << QStringLiteral("(?, ?, ?)");
    fBlockPrepared = fPrepared
        && fBlock->prepare(SqlText::UpdateText(
            QStringLiteral(" YCL1 = cast(v.column2 as real),  YCL2 = cast(v.column3 as real)"),
            QStringLiteral(" from (values ") + rows.join(QStringLiteral(", ")) + QStringLiteral(") as v where cnt = v.column1")));
}

TPriceUpdates::~TPriceUpdates()
{
    try {
        Flush();
    } catch (...) {
        // Nothing here throws; a destructor lets nothing out.
    }
}

void TPriceUpdates::Update(std::int32_t row, const QString& price1, const QString& price2)
{
    fPending.push_back({row, price1, price2});
    if (int(fPending.size()) == kUpdateBatchRows)
        WritePending();
}

void TPriceUpdates::Flush()
{
    WritePending();
    Commit();
}

void TPriceUpdates::WritePending()
{
    if (fPending.empty())
        return;
    if (!RunBlock()) {
        for (const TRow& row : fPending)
            RunOne(row, true);
    }
    fPending.clear();
    if (fWritten.size() >= std::size_t(kUpdateCommitRows))
        Commit();
}

// The gathered rows in one statement, when they fill a block and every
// price is a plain decimal; false, with nothing written, otherwise.
bool TPriceUpdates::RunBlock()
{
    if (!fBlockPrepared || int(fPending.size()) != kUpdateBatchRows)
        return false;
    for (const TRow& row : fPending) {
        if (row.Price2.isNull() || !PlainDecimal(row.Price1) || !PlainDecimal(row.Price2))
            return false;
    }
    QSqlQuery& query = *fBlock;
    int at = 0;
    for (const TRow& row : fPending) {
        query.bindValue(at++, qlonglong(row.Row));
        query.bindValue(at++, row.Price1);
        query.bindValue(at++, row.Price2);
    }
    Begin();
    if (!query.exec()) {
        Commit();
        return false;
    }
    if (fInTransaction)
        fWritten.insert(fWritten.end(), fPending.begin(), fPending.end());
    fOwner.LastSqlOk = true;
    fOwner.LastSqlError.clear();
    return true;
}

void TPriceUpdates::RunOne(const TRow& row, bool inTransaction)
{
    const bool two = !row.Price2.isNull();
    if (fPrepared && PlainDecimal(row.Price1) && (!two || PlainDecimal(row.Price2))) {
        QSqlQuery& query = two ? *fBoth : *fFirst;
        int at = 0;
        query.bindValue(at++, row.Price1);
        if (two)
            query.bindValue(at++, row.Price2);
        query.bindValue(at, qlonglong(row.Row));
        if (inTransaction)
            Begin();
        if (query.exec()) {
            if (fInTransaction)
                fWritten.push_back(row);
            fOwner.LastSqlOk = true;
            fOwner.LastSqlError.clear();
            return;
        }
    }
    // The text statement on its own: its failure is rolled back alone.
    Commit();
    const QString sets = two ? SqlText::YclPiece(1, row.Price1) + QStringLiteral(", ") + SqlText::YclPiece(2, row.Price2)
                             : SqlText::YclPiece(1, row.Price1);
    fOwner.sqw = SqlText::UpdateText(sets, SqlText::WhereCnt(row.Row));
    fOwner.uexSqlM();
}

void TPriceUpdates::Begin()
{
    if (!fInTransaction && fDb.isOpen())
        fInTransaction = fDb.transaction();
}

void TPriceUpdates::Commit()
{
    if (!fInTransaction)
        return;
    fInTransaction = false;
    if (fDb.commit()) {
        fWritten.clear();
        return;
    }
    // The database dropped the transaction, and the rows written in it.
    fDb.rollback();
    const std::vector<TRow> again = std::move(fWritten);
    fWritten.clear();
    for (const TRow& row : again)
        RunOne(row, false);
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
