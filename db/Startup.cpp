// Start-up of the databases and the price grid's query.
#include "db/BrelvanDb.h"

#include "base/Errors.h"
#include "base/Messages.h"
#include "db/CatalogueRows.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QDir>

namespace {

const QString kFileName = QStringLiteral("SQDB.DB");
// Keeps the predictions' one-row updates ("where cnt = N") from scanning the
// whole in-memory price table.  No statement names it.
const QString kPriceIndex = QStringLiteral("create index if not exists AYNK_CNT on AYNK ( CNT )");

// How completely the file's catalogue describes the program's own tables.
struct TCatalogueState {
    bool Complete() const { return Missing.isEmpty() && Refusal.isEmpty(); }
    QString Missing;   // the first thing missing or out of place
    QString Refusal;   // the first value refused; the user is told
};

// The columns a table of the file has, in order (none when it is missing).
QStringList FileColumns(const QString& table)
{
    TQuery& qw = DataModule().qw;
    qw.SetSQL(QStringLiteral("PRAGMA table_info(") + table + QStringLiteral(")"));
    qw.Open();
    QStringList names;
    for (qw.First(); !qw.Eof(); qw.Next())
        names << qw.FieldText(QStringLiteral("name"));
    qw.Close();
    return names;
}

// The column rows of one of the program's tables, read as the builder reads
// them; false at the first fault, which `state` then holds.
bool CheckColumns(const CatalogueRows::TExpectedTable& table, const QString& tbid, TCatalogueState& state)
{
    using namespace CatalogueRows;
    const QString name = QString::fromLatin1(table.Name);
    const int expected = int(table.Columns.size());
    TQuery& qst = DataModule().qst;
    qst.SetSQL(SqlText::ColumnRows(tbid));
    qst.Open();
    int position = 0;
    for (qst.First(); !qst.Eof() && state.Complete(); qst.Next()) {
        ++position;
        const QVariant cnam = qst.FieldByName(QStringLiteral("CNAM"));
        const QVariant kt = qst.FieldByName(QStringLiteral("KT"));
        state.Refusal = ColumnRowFault(name, position, cnam, kt, qst.FieldByName(QStringLiteral("LN")),
                                       qst.FieldByName(QStringLiteral("DPW")));
        if (!state.Refusal.isEmpty())
            break;
        if (position > expected) {
            state.Missing = QStringLiteral("ﾃｰﾌﾞﾙ構造 AAATST の %1 の列が %2 列より多くあります").arg(name).arg(expected);
            break;
        }
        const TExpectedColumn& column = table.Columns[std::size_t(position - 1)];
        if (cnam.toString().compare(QLatin1String(column.Name), Qt::CaseInsensitive) != 0)
            state.Missing = QStringLiteral("ﾃｰﾌﾞﾙ構造 AAATST の %1 の %2 番目の列が %3 ではありません")
                                .arg(name).arg(position).arg(QLatin1String(column.Name));
        else
            state.Refusal = KindFault(name, cnam.toString(), kt.toString(), column.Kind);
    }
    qst.Close();
    if (state.Complete() && position < expected)
        state.Missing = QStringLiteral("ﾃｰﾌﾞﾙ構造 AAATST に %1 の列 %2 がありません")
                            .arg(name, QLatin1String(table.Columns[std::size_t(position)].Name));
    return state.Complete();
}

// Compares the file's catalogue with what the program needs: both catalogue
// tables with their columns, a row in AAATBN for each of the program's
// tables and in AAATST its columns in order, text and number columns where
// the program writes texts and numbers.  Every value read is checked.
TCatalogueState CheckCatalogue()
{
    using namespace CatalogueRows;
    TCatalogueState state;
    for (const TExpectedTable& table : ProgramTables()) {
        const QString name = QString::fromLatin1(table.Name);
        if (name != QLatin1String("AAATBN") && name != QLatin1String("AAATST"))
            continue;
        const QStringList columns = FileColumns(name);
        for (const TExpectedColumn& column : table.Columns) {
            if (!columns.contains(QLatin1String(column.Name), Qt::CaseInsensitive)) {
                state.Missing = QStringLiteral("ﾃｰﾌﾞﾙ %1 に列 %2 がありません").arg(name, QLatin1String(column.Name));
                return state;
            }
        }
    }

    TQuery& qw = DataModule().qw;
    for (const TExpectedTable& table : ProgramTables()) {
        const QString name = QString::fromLatin1(table.Name);
        qw.SetSQL(SqlText::LookupTable(name));
        qw.Open();
        if (qw.Eof()) {
            qw.Close();
            state.Missing = SqlText::TableNotFound(name);
            return state;
        }
        state.Refusal = TableRowFault(name, qw.FieldByName(QStringLiteral("TNAM")), qw.FieldByName(QStringLiteral("TBID")));
        const QString tbid = qw.FieldText(QStringLiteral("TBID"));
        qw.Close();
        if (!state.Complete() || !CheckColumns(table, tbid, state))
            return state;
    }
    return state;
}

}  // namespace

void TBrelvanDb::uqCdb()
{
    stdb = QDir::toNativeSeparators(QDir::current().filePath(kFileName));
    DataModule().OpenFile(stdb);

    // The catalogue is rebuilt from its files unless it describes the
    // program's own tables completely: a new file, one that an interrupted
    // start left without its catalogue, or one whose catalogue holds a value
    // that is refused (the user is told which).  The run register's rows are
    // not touched by it.
    if (const TCatalogueState state = CheckCatalogue(); !state.Complete()) {
        if (!state.Refusal.isEmpty())
            ShowMessage(state.Refusal);
        uqTst(3);
        const TCatalogueState rebuilt = CheckCatalogue();
        if (!rebuilt.Complete())
            throw EDatabaseError(QStringLiteral("テーブル構造ファイル (フォルダ %1) から作ったﾃｰﾌﾞﾙ構造が不完全です: %2")
                                     .arg(QDir::toNativeSeparators(CatalogueDirectory()),
                                          rebuilt.Refusal.isEmpty() ? rebuilt.Missing : rebuilt.Refusal));
    }

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
        for (const char* table : {"AYFS", "AYKS"}) {
            stnm = QString::fromLatin1(table);
            uqCtbl(3);
        }
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
