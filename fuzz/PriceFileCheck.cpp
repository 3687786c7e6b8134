// The price file from its bytes to the in-memory price table: the file
// rules checked against each other, then the program's own import.
#include "fuzz/CheckSupport.h"
#include "fuzz/FuzzChecks.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "db/Data.h"
#include "prices/PriceFile.h"
#include "tests/support/PriceStandIn.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <cmath>

namespace FuzzChecks {

namespace {

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

constexpr int kFutureRows = 8;

// The program's own controller (the window stood in for) on a folder of its
// own, whose database start-up has run: each input is imported by y02rdDat
// as the program imports its price file.
class TImportRig {
public:
    TImportRig() : fFolder(QString::fromStdString(ScratchPath("import")))
    {
        if (!QDir().mkpath(fFolder))
            qFatal("no folder for the import");
        dm = &fModule;
        const TMessageSink previousSink = SetMessageSink([](const QString&) {});   // the catalogue's two notes
        Within([this] { fForm.StartUp(); });
        SetMessageSink(previousSink);
    }

    // Imports the bytes as the price file; the messages shown on the way.
    QStringList Import(const QByteArray& bytes, bool& accepted)
    {
        QFile file(QDir(fFolder).filePath(QString::fromLatin1(kPriceFileName)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write the price file");
        file.close();
        QStringList messages;
        const TMessageSink previousSink = SetMessageSink([&](const QString& text) { messages << text; });
        accepted = false;
        Within([&] {
            try {
                fForm.y02rdDat();
                accepted = true;
            } catch (const EBrelvanError& error) {
                messages << error.Message();
            }
        });
        SetMessageSink(previousSink);
        return messages;
    }

    TPriceStandIn& Form() { return fForm; }

private:
    // Runs the work with the rig's folder as the current directory, the
    // import's folder, and the caller's current directory back afterwards.
    template <class Work>
    void Within(Work&& work)
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(fFolder);
        work();
        QDir::setCurrent(previous);
    }

    QString fFolder;
    Tdm fModule;
    TPriceStandIn fForm;
};

TImportRig& Rig()
{
    static TImportRig* rig = new TImportRig;   // lives to the end of the process
    return *rig;
}

// Every row of the in-memory price table, in CNT order, as "CNT|DATE|CLOSE".
QStringList StoredRows()
{
    QSqlQuery stored(dm->CsqM());
    QStringList rows;
    if (!stored.exec(QStringLiteral("select CNT, DATE, CLOSE from AYNK order by CNT")))
        return {QStringLiteral("select failed")};
    while (stored.next())
        rows << stored.value(0).toString() + QLatin1Char('|') + stored.value(1).toString() + QLatin1Char('|')
                    + stored.value(2).toString();
    return rows;
}

// The import of the bytes: rejected with a message and nothing changed, or
// accepted with every row stored as the file holds it.
QString CheckImport(const QByteArray& bytes, const TPriceFile* file)
{
    TImportRig& rig = Rig();
    const QStringList before = StoredRows();
    const std::int32_t idnBefore = rig.Form().Idn;
    bool accepted = false;
    const QStringList messages = rig.Import(bytes, accepted);
    if (!accepted) {
        if (file)
            return QStringLiteral("the import rejects a sound file: ") + messages.join(QLatin1Char('/'));
        if (messages.size() < 2 || messages.last().isEmpty())
            return QStringLiteral("rejected without a message");
        if (rig.Form().Idn != idnBefore || StoredRows() != before)
            return QStringLiteral("a rejected file changed the price table");
        return {};
    }
    if (!file)
        return QStringLiteral("the import accepts a file the checks reject");
    const int rows = int(file->Rows.size());
    if (rig.Form().Idn != rows)
        return QStringLiteral("Idn %1 for %2 rows").arg(rig.Form().Idn).arg(rows);
    const QStringList stored = StoredRows();
    if (stored.size() != rows + kFutureRows)
        return QStringLiteral("table holds %1 rows, not %2").arg(stored.size()).arg(rows + kFutureRows);
    for (int i = 1; i <= rows; ++i) {
        const TPriceRow& row = file->Rows[std::size_t(i - 1)];
        const QString want = QString::number(i) + QLatin1Char('|') + row.Date.left(10) + QLatin1Char('|')
                           + row.Close.left(12);
        if (stored[i - 1] != want)
            return QStringLiteral("row %1 stored as %2").arg(i).arg(stored[i - 1]);
        if (rig.Form().Data[std::size_t(i)].dt != row.Day)
            return QStringLiteral("row %1 holds another day").arg(i);
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
        return CheckImport(bytes, nullptr);   // the import must reject it too, changing nothing
    }
    const QString rows = CheckRows(lines, file);
    if (!rows.isEmpty())
        return rows;
    return CheckImport(bytes, &file);
}

}  // namespace FuzzChecks
