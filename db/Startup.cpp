// Start-up of the databases and the price grid's query.
#include "db/BrelvanDb.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QDir>

namespace {

const QString kFileName = QStringLiteral("SQDB.DB");
// Keeps the predictions' one-row updates ("where cnt = N") from scanning the
// whole in-memory price table.  No statement names it.
const QString kPriceIndex = QStringLiteral("create index if not exists AYNK_CNT on AYNK ( CNT )");

bool FileHasTable(const QString& name)
{
    TQuery& qw = DataModule().qw;
    qw.SetSQL(SqlText::TableCount(name));
    qw.Open();
    const bool found = qw.FieldByName(QStringLiteral("CNT")).toInt() > 0;
    qw.Close();
    return found;
}

}  // namespace

void TBrelvanDb::uqCdb()
{
    stdb = QDir::toNativeSeparators(QDir::current().filePath(kFileName));
    DataModule().OpenFile(stdb);

    // A new database (or one without its catalogue) receives the catalogue first.
    if (!FileHasTable(QStringLiteral("AAATBN")) || !FileHasTable(QStringLiteral("AAATST")))
        uqTst(3);

    stdb = QStringLiteral("csqM");
    uqCtbl(1);
    stdb = QStringLiteral("csqM");
    for (const char* table : {"AAATBN", "AAATST", "AYNK"}) {
        stnm = QString::fromLatin1(table);
        ucSql(6);
        if (sqw.isEmpty())   // not in the catalogue; the look-up has said so
            continue;
        uexSqlM();
        const QSqlDatabase memory = DataModule().CsqM();
        if (memory.tables().contains(stnm)) {
            if (stnm == QLatin1String("AYNK"))
                ExecSql(memory, kPriceIndex);
            // A repeated start-up copies the file rows once, not once more.
            ExecSql(memory, QStringLiteral("delete from ") + stnm);
        }
        DataModule().BmSqRd.TableName = stnm;
        DataModule().BmSqWt.TableName = stnm;
        DataModule().FDBm.Execute();
    }
}

void TBrelvanDb::uqCtbl(std::int32_t id)
{
    switch (id) {
    case 1:
        stdb = QStringLiteral("csqM");
        stnm = QStringLiteral("AYNK");
        uqCtbl(3);
        stdb = QStringLiteral("csq");
        stnm = QStringLiteral("AYFS");
        uqCtbl(3);
        return;
    case 3: {
        sqw = SqlText::TableCount(stnm);
        TQuery& qw = DataModule().qw;
        qw.SetSQL(sqw);
        qw.Open();
        const bool exists = qw.FieldByName(QStringLiteral("CNT")).toInt() > 0;
        qw.Close();
        if (exists)
            return;
        ucSql(6);
        if (!sqw.isEmpty())
            uexSql();   // in the file, whatever stdb says: stdb only picks the type rule
        return;
    }
    default:
        return;
    }
}

void TBrelvanDb::uqb(std::int32_t id)
{
    stdb = QStringLiteral("csqM");
    stnm = QStringLiteral("AYNK");
    if (id != 1)
        return;
    TQuery& qb = DataModule().qb;
    qb.Close();
    swh.clear();
    ucSql(1);
    if (sqw.isEmpty())
        return;
    qb.SetSQL(sqw);
    qb.Open();
    TQuery& columns = DataModule().qst;
    int field = 0;
    for (columns.First(); !columns.Eof(); columns.Next(), ++field)
        qb.SetDisplayWidth(field, columns.FieldByName(QStringLiteral("DPW")).toInt());
    qb.Last();
}
