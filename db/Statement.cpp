// The statement builder and the two execute operations of the controller.
// Every statement is written from the catalogue rows of the table stnm; the
// texts themselves come from SqlText.
#include "db/BrelvanDb.h"
#include "base/Errors.h"
#include "db/CatalogueCache.h"
#include "db/Connection.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

QString ColumnName() { return DataModule().qst.FieldText(QStringLiteral("CNAM")); }

}  // namespace

void CheckInsertColumns(const QString& table, int columns)
{
    if (columns > kMaxInsertColumns)
        throw ERangeError(QStringLiteral("テーブル %1 の列数 %2 が挿入できる上限 %3 を超えています")
                              .arg(table).arg(columns).arg(kMaxInsertColumns));
}

void TBrelvanDb::ucSql(std::int32_t id)
{
    if (id != 1 && id != 2 && id != 6 && id != 7)
        return;
    TQuery& columns = DataModule().qst;
    if (id == 7) {
        ColumnLiteral(ColumnRowOf(columns));
        return;
    }

    sqw.clear();   // a refused catalogue row raises below: no earlier statement stays to be run
    uqTst(1);
    if (!columns.Active()) {   // the table is not in the catalogue: no statement
        sqw.clear();
        return;
    }

    QStringList names;
    if (id == 1) {
        for (columns.First(); !columns.Eof(); columns.Next())
            names << ColumnName();
        sqw = SqlText::Select(stnm, names, swh);
    } else if (id == 2) {
        CheckInsertColumns(stnm, columns.RecordCount());
        std::vector<TColumnRow> rows;
        for (columns.First(); !columns.Eof(); columns.Next())
            rows.push_back(ColumnRowOf(columns));
        InsertFromSlots(rows);
    } else {
        QStringList pieces;
        for (columns.First(); !columns.Eof(); columns.Next()) {
            sa[3] = ColumnName() + QStringLiteral(" ");
            sa[4] = SqlText::CreateType(columns.FieldText(QStringLiteral("KT")), stdb);
            sa[5] = columns.FieldText(QStringLiteral("LN"));
            pieces << SqlText::CreateColumn(ColumnName(), sa[4], sa[5]);
        }
        sqw = SqlText::Create(stnm, pieces);
    }
}

QString TBrelvanDb::ucSqlDetail(const QString& detail, const QString& key, std::vector<int>& widths)
{
    sqw.clear();
    widths.clear();
    const QString table = stnm;
    TQuery& rows = DataModule().qst;
    // The column names of one table and their widths; false when the
    // catalogue does not list it (the look-up has said so).
    const auto columnsOf = [&](const QString& name, bool withKey, QStringList& names) {
        stnm = name;
        uqTst(1);
        stnm = table;
        if (!rows.Active())
            return false;
        for (rows.First(); !rows.Eof(); rows.Next()) {
            const QString column = ColumnName();
            if (!withKey && column.compare(key, Qt::CaseInsensitive) == 0)
                continue;
            names << column;
            widths.push_back(rows.FieldByName(QStringLiteral("DPW")).toInt());
        }
        return true;
    };
    QStringList names;
    QStringList detailNames;
    const QString missing = !columnsOf(table, true, names)           ? table
                          : !columnsOf(detail, false, detailNames) ? detail
                                                                   : QString();
    if (!missing.isEmpty()) {
        widths.clear();
        return missing;
    }
    sqw = SqlText::SelectWithDetail(table, names, detail, detailNames, key, swh);
    return {};
}

void TBrelvanDb::ColumnLiteral(const TColumnRow& column)
{
    sa[7] = column.Kt;
    if (column.Text)
        ucNul(sa[9], 2, column.Ln);
    else
        ucNul(sa[9], 1, 0);
}

void TBrelvanDb::InsertFromSlots(const std::vector<TColumnRow>& columns)
{
    CheckInsertColumns(stnm, int(columns.size()));
    QStringList names;
    QStringList literals;
    for (int k = 1; k <= int(columns.size()); ++k) {
        const TColumnRow& column = columns[std::size_t(k - 1)];
        sa[9] = sa[10 + k];
        ColumnLiteral(column);
        if (k > 1)   // the first slot keeps the caller's value
            sa[10 + k] = sa[9];
        literals << sa[9];
        names << column.Name;
    }
    sa[1] = literals.join(QStringLiteral(", "));
    sqw = SqlText::Insert(stnm, names, literals);
}

void TBrelvanDb::ucNul(QString& st, std::int32_t id, std::int32_t il)
{
    st = SqlText::Literal(st, id, il);
}

namespace {

// Runs sqw on one connection in auto-commit mode.  A failure is rolled back
// and swallowed; its outcome is left in ok/error for callers that report it.
void ExecuteStatement(const QString& connection, const QString& sql, bool& ok, QString& error)
{
    ok = false;
    error.clear();
    if (sql.trimmed().isEmpty()) {
        error = QStringLiteral("実行する SQL 文がありません");
        return;
    }
    QSqlDatabase db;
    try {
        db = connection == DataModule().csq ? DataModule().Csq() : DataModule().CsqM();
    } catch (const EDatabaseError& e) {
        error = e.Message();
        return;
    }
    QSqlQuery query(db);
    if (query.exec(sql)) {
        ok = true;
        return;
    }
    const QSqlError failure = query.lastError();
    error = DatabaseReason(failure);
    query.finish();
    db.rollback();   // does nothing when no transaction is open
}

}  // namespace

void TBrelvanDb::uexSql()
{
    ExecuteStatement(DataModule().csq, sqw, LastSqlOk, LastSqlError);
}

void TBrelvanDb::uexSqlM()
{
    ExecuteStatement(DataModule().csqM, sqw, LastSqlOk, LastSqlError);
}
