// The price file from its bytes to the in-memory price table.
#include "fuzz/CheckSupport.h"
#include "fuzz/FuzzChecks.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "db/SqlText.h"
#include "prices/PriceFile.h"

#include <QSqlQuery>
#include <array>
#include <cmath>

namespace FuzzChecks {

namespace {

// The price table as the catalogue describes it: name, type word, length.
struct TColumn {
    const char* Name;
    const char* Kt;
    int Ln;
};
const TColumn kAynk[] = {
    {"CNT", "Integer", 0}, {"DATE", "varchar", 10}, {"TIME", "varchar", 8}, {"CLOSE", "varchar", 12},
    {"HG", "varchar", 12}, {"LG", "varchar", 12},   {"OPEN", "varchar", 12}, {"YCL1", "Real", 0},
    {"YCL2", "Real", 0},   {"YCL3", "Real", 0},     {"YCL4", "Real", 0},     {"YCL5", "Real", 0},
    {"YCL6", "Real", 0},   {"TYO", "varchar", 40},
};
constexpr int kColumns = int(std::size(kAynk));
constexpr int kFutureRows = 8;

QSqlDatabase PriceTable()
{
    QStringList columns;
    for (const TColumn& c : kAynk)
        columns << SqlText::CreateColumn(QString::fromLatin1(c.Name), QString::fromLatin1(c.Kt),
                                         c.Ln > 0 ? QString::number(c.Ln) : QString());
    return MemoryDatabase(QStringLiteral("fuzz_prices"), {SqlText::Create(QStringLiteral("AYNK"), columns)});
}

// The insert of one row from the texts of its fourteen slots, each written
// by its column's type as the statement builder writes it.
QString InsertRow(const std::array<QString, kColumns>& texts)
{
    QStringList names;
    QStringList literals;
    for (int k = 0; k < kColumns; ++k) {
        const TColumn& c = kAynk[k];
        names << QString::fromLatin1(c.Name);
        literals << (SqlText::IsTextType(QString::fromLatin1(c.Kt)) ? SqlText::Literal(texts[k], 2, c.Ln)
                                                                    : SqlText::Literal(texts[k], 1, 0));
    }
    return SqlText::Insert(QStringLiteral("AYNK"), names, literals);
}

QString CheckRows(const QStringList& lines, const TPriceFile& file)
{
    if (file.LineCount != lines.size() || qsizetype(file.Rows.size()) != lines.size() - 2)
        return QStringLiteral("row count %1 for %2 lines").arg(file.Rows.size()).arg(lines.size());
    const TPriceRange range = file.Range;
    if (!(range.IrL < range.IrH) || range.IrL % 10 != 0 || range.IrH % 10 != 0)
        return QStringLiteral("range %1..%2").arg(range.IrL).arg(range.IrH);
    if (!(file.Highest <= range.IrH))
        return QStringLiteral("highest close %1 above the range %2..%3")
            .arg(file.Highest).arg(range.IrL).arg(range.IrH);
    const long double width = static_cast<long double>(range.IrH) - range.IrL;
    for (std::size_t i = 0; i < file.Rows.size(); ++i) {
        const TPriceRow& row = file.Rows[i];
        const QStringList fields = SplitPriceFields(lines[qsizetype(i) + 1]);
        if (fields.size() < 5 || fields[0] != row.Date || fields[1] != row.Close || fields[2] != row.Open
            || fields[3] != row.High || fields[4] != row.Low)
            return QStringLiteral("fields of line %1 differ from a second split").arg(i + 2);
        if (ReadDate(DateToStr(row.Day)) != row.Day)
            return QStringLiteral("date %1 does not read back").arg(row.Date);
        if (!std::isfinite(row.CloseValue))
            return QStringLiteral("close %1 is not finite").arg(row.Close);
        const float normal = NormalizePrice(row.CloseValue, range.IrL, range.IrH);
        const float back = RenormalizePrice(normal, range.IrL, range.IrH);
        const long double slack =
            4.0L * std::ldexp(1.0L, -24) * (std::fabs(static_cast<long double>(row.CloseValue)) + width
                                            + std::fabs(static_cast<long double>(range.IrL)));
        if (!std::isfinite(normal) || std::fabs(static_cast<long double>(back) - row.CloseValue) > slack)
            return QStringLiteral("close %1 normalises to %2 and back to %3").arg(row.Close).arg(normal).arg(back);
    }
    return {};
}

QString CheckTable(const TPriceFile& file)
{
    QSqlDatabase db = PriceTable();
    if (!db.transaction())
        return QStringLiteral("no transaction");
    struct TRollback {
        QSqlDatabase& Db;
        ~TRollback() { Db.rollback(); }
    } rollback{db};
    if (!Exec(db, QStringLiteral("delete from AYNK")))
        return QStringLiteral("delete failed");
    const int rows = int(file.Rows.size());
    for (int i = 1; i <= rows; ++i) {
        const TPriceRow& row = file.Rows[std::size_t(i - 1)];
        const std::array<QString, kColumns> texts = {QString::number(i), row.Date, QString(), row.Close,
                                                     row.High, row.Low, row.Open};
        const QString sql = InsertRow(texts);
        if (!Exec(db, sql))
            return QStringLiteral("insert of row %1 rejected: %2").arg(i).arg(sql);
    }
    TDateTime future = file.Rows.back().Day + 1;
    for (int k = 0; k < kFutureRows; ++k, future += 1) {
        const std::array<QString, kColumns> texts = {QString::number(rows + k + 1), DateToStr(future)};
        if (texts[1].isEmpty() || !Exec(db, InsertRow(texts)))
            return QStringLiteral("future row %1 rejected").arg(k + 1);
    }
    if (Count(db, QStringLiteral("select count(*) from AYNK")) != rows + kFutureRows)
        return QStringLiteral("table does not hold %1 rows").arg(rows + kFutureRows);
    QSqlQuery stored(db);
    if (!stored.exec(QStringLiteral("select CNT, DATE, CLOSE from AYNK where CNT <= %1 order by CNT").arg(rows)))
        return QStringLiteral("select failed");
    for (int i = 1; stored.next(); ++i) {
        const TPriceRow& row = file.Rows[std::size_t(i - 1)];
        if (stored.value(0).toInt() != i || stored.value(1).toString() != row.Date.left(10)
            || stored.value(2).toString() != row.Close.left(12))
            return QStringLiteral("row %1 stored as %2, %3").arg(i).arg(stored.value(1).toString(),
                                                                     stored.value(2).toString());
    }
    return {};
}

}  // namespace

QString PriceFile(const QByteArray& bytes)
{
    const QStringList lines = SplitPriceLines(DecodePriceText(bytes));
    for (const QString& line : lines)
        if (line.contains(u'\r') || line.contains(u'\n'))
            return QStringLiteral("a line holds a line break");
    TPriceFile file;
    try {
        file = ParsePriceLines(lines);
    } catch (const EBrelvanError& error) {
        if (error.Message().isEmpty())
            return QStringLiteral("rejected without a message");
        return {};   // rejected with the user's message: sound
    }
    const QString rows = CheckRows(lines, file);
    if (!rows.isEmpty())
        return rows;
    return CheckTable(file);
}

}  // namespace FuzzChecks
