// A catalogue file line through the line rule and the rebuild's insert.
#include "fuzz/CheckSupport.h"
#include "fuzz/FuzzChecks.h"

#include "base/ShiftJis.h"
#include "db/SqlText.h"

namespace FuzzChecks {

namespace {

QSqlDatabase Catalogue()
{
    return MemoryDatabase(QStringLiteral("fuzz_catalogue"), {SqlText::CreateAaatbn, SqlText::CreateAaatst});
}

// An SQL text literal of the field: quotes around, every inner quote
// doubled (so no quote stands alone inside).
bool IsQuotedText(const QString& value, const QString& field)
{
    if (value != SqlText::Quoted(field) || value.size() < 2 || !value.startsWith(u'\'') || !value.endsWith(u'\''))
        return false;
    QString inner = value.mid(1, value.size() - 2);
    return !inner.replace(QStringLiteral("''"), QString()).contains(u'\'');
}

// The values follow the fields one for one: NULL for an empty field, quoted
// text for a text field and for the last one, the field itself otherwise.
QString CheckValues(const QString& line, const QVector<int>& textFields)
{
    const QStringList values = SqlText::CatalogueValues(line, textFields);
    const QStringList fields = line.split(u',');
    if (values.size() != fields.size())
        return QStringLiteral("%1 values for %2 fields").arg(values.size()).arg(fields.size());
    for (int k = 0; k < fields.size(); ++k) {
        const QString& field = fields[k];
        const QString& value = values[k];
        const bool last = k + 1 == fields.size();
        const bool ok = last                          ? IsQuotedText(value, field)
                      : field.isEmpty()               ? value == QLatin1String("NULL")
                      : textFields.contains(k + 1)    ? IsQuotedText(value, field)
                                                      : value == field;
        if (!ok)
            return QStringLiteral("field %1 '%2' written as %3").arg(k + 1).arg(field, value);
    }
    return {};
}

// The insert adds at most one row to its own table and changes nothing else.
QString CheckInsert(const QString& sql, const QString& table, const QString& other)
{
    QSqlDatabase db = Catalogue();
    const auto count = [&](const QString& name) {
        return Count(db, QStringLiteral("select count(*) from ") + name);
    };
    if (!db.transaction())
        return QStringLiteral("no transaction");
    Exec(db, sql);
    const long long rows = count(table);
    const long long others = count(other);
    const long long objects = Count(db, QStringLiteral("select count(*) from sqlite_master"));
    db.rollback();
    if (rows < 0 || rows > 1 || others != 0 || objects != 2)
        return QStringLiteral("insert %1 left %2 rows in %3, %4 in %5, %6 objects")
            .arg(sql).arg(rows).arg(table).arg(others).arg(other).arg(objects);
    return {};
}

}  // namespace

QString CatalogueLine(const QByteArray& bytes)
{
    // The lines as the rebuild reads them: Shift-JIS, CR LF or LF.
    const QStringList lines = ShiftJis::Decode(bytes).split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        struct TFile {
            const QVector<int>& TextFields;
            QString (*Insert)(const QStringList&);
            const char* Table;
            const char* Other;
        };
        const TFile files[] = {{SqlText::TblTextFields(), &SqlText::InsertAaatbn, "AAATBN", "AAATST"},
                               {SqlText::TblstrcTextFields(), &SqlText::InsertAaatst, "AAATST", "AAATBN"}};
        for (const TFile& file : files) {
            const QString values = CheckValues(line, file.TextFields);
            if (!values.isEmpty())
                return values;
            const QString insert = CheckInsert(file.Insert(SqlText::CatalogueValues(line, file.TextFields)),
                                               QString::fromLatin1(file.Table), QString::fromLatin1(file.Other));
            if (!insert.isEmpty())
                return insert;
        }
    }
    return {};
}

}  // namespace FuzzChecks
