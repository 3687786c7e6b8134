#include "db/CatalogueCache.h"

#include "base/Errors.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

// A plain decimal integer that SQLite reads as a 64-bit integer literal: an
// optional minus sign and 1 to 18 digits (19 digits may overflow into a real).
bool PlainInteger(const QString& text, qlonglong& value)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    const bool negative = n > 0 && text.at(0) == QLatin1Char('-');
    if (negative)
        ++i;
    if (n - i < 1 || n - i > 18)
        return false;
    qlonglong v = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
    }
    value = negative ? -v : v;
    return true;
}

}  // namespace

TColumnRow ColumnRowOf(const TQuery& rows)
{
    TColumnRow column;
    column.Name = rows.FieldText(QStringLiteral("CNAM"));
    column.Kt = rows.FieldText(QStringLiteral("KT"));
    column.Ln = rows.FieldByName(QStringLiteral("LN")).toInt();
    column.Text = SqlText::IsTextType(column.Kt);
    return column;
}

TCatalogueCache::TCatalogueCache(TBrelvanDb& owner) : fOwner(owner), fTable(owner.stnm)
{
    owner.uqTst(1);
    TQuery& rows = DataModule().qst;
    if (!rows.Active())
        return;
    for (rows.First(); !rows.Eof(); rows.Next())
        fColumns.push_back(ColumnRowOf(rows));
    CheckInsertColumns(fTable, ColumnCount());
    // The statement up to its values, exactly as the builder joins it.
    QStringList names;
    for (const TColumnRow& column : fColumns)
        names << column.Name;
    const QString values = QStringLiteral("\x01");
    fHead = SqlText::Insert(fTable, names, {values});
    fHead.truncate(fHead.lastIndexOf(values));
}

void TCatalogueCache::Build()
{
    if (fColumns.empty()) {
        fOwner.sqw.clear();
        return;
    }
    fOwner.InsertFromSlots(fColumns);
}

QString TCatalogueCache::PlaceholderInsert(int rows) const
{
    const QString row = QStringList(ColumnCount(), QStringLiteral("?")).join(QStringLiteral(", "));
    return fHead + QStringList(rows, row).join(QStringLiteral(" ), ( ")) + QStringLiteral(" ) ");
}

bool TCatalogueCache::Bindable(const QString* values) const
{
    for (int k = 0; k < ColumnCount(); ++k) {
        const QString& value = values[k];
        if (value.isEmpty())
            continue;
        if (fColumns[std::size_t(k)].Text) {
            if (value.contains(QChar(0)))
                return false;
        } else {
            qlonglong number = 0;
            if (!PlainInteger(value, number))
                return false;
        }
    }
    return true;
}

void TCatalogueCache::Bind(QSqlQuery& query, const QString* values, int first, std::vector<bool>& nulls) const
{
    for (int k = 0; k < ColumnCount(); ++k) {
        const TColumnRow& column = fColumns[std::size_t(k)];
        const QString& value = values[k];
        const int at = first + k;
        const bool null = value.isEmpty();
        if (null && nulls[std::size_t(at)])
            continue;
        nulls[std::size_t(at)] = null;
        if (null) {
            query.bindValue(at, QVariant());
        } else if (column.Text) {
            query.bindValue(at, SqlText::LiteralText(value, column.Ln));
        } else {
            qlonglong number = 0;
            PlainInteger(value, number);
            query.bindValue(at, number);
        }
    }
}
