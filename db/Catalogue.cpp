// The table catalogue: look up a table, open its column rows, rebuild the
// catalogue from the two files in the catalogue directory.
#include "db/BrelvanDb.h"

#include "base/Errors.h"
#include "base/Messages.h"
#include "base/RegularFile.h"
#include "db/Connection.h"
#include "base/ShiftJis.h"
#include "db/CatalogueRows.h"
#include "db/Data.h"
#include "db/SqlText.h"
#include "db/Transaction.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>
#include <utility>

namespace {

// Looks stnm up in AAATBN; sets stid to its TBID when found, otherwise shows
// the not-found message and leaves stid as it was.  A row whose name or id
// is no plain value is refused (EDatabaseError) before its id is used.
bool LookUpTable(const QString& stnm, QString& stid)
{
    TQuery& qw = DataModule().qw;
    qw.SetSQL(SqlText::LookupTable(stnm));
    qw.Open();
    if (qw.Eof()) {
        ShowMessage(SqlText::TableNotFound(stnm));
        return false;
    }
    const QString fault = CatalogueRows::TableRowFault(stnm, qw.FieldByName(QStringLiteral("TNAM")),
                                                       qw.FieldByName(QStringLiteral("TBID")));
    if (!fault.isEmpty()) {
        qw.Close();
        throw EDatabaseError(fault);
    }
    stid = qw.FieldText(QStringLiteral("TBID"));
    qw.Close();
    return true;
}

// Every column row of the open qst is checked before a statement is built
// from any of them; a refused row closes qst and raises EDatabaseError.
void CheckColumnRows(const QString& table)
{
    TQuery& qst = DataModule().qst;
    int position = 1;
    for (qst.First(); !qst.Eof(); qst.Next(), ++position) {
        const QString fault = CatalogueRows::ColumnRowFault(
            table, position, qst.FieldByName(QStringLiteral("CNAM")), qst.FieldByName(QStringLiteral("KT")),
            qst.FieldByName(QStringLiteral("LN")), qst.FieldByName(QStringLiteral("DPW")));
        if (!fault.isEmpty()) {
            qst.Close();
            throw EDatabaseError(fault);
        }
    }
    qst.First();
}

// A catalogue file as lines of text (Shift-JIS, CR LF or LF), or no value
// and the reason when it is missing, is not a regular file or cannot be read.
std::optional<QStringList> ReadLines(const QString& path, QString& reason)
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path, reason);
    if (!bytes)
        return std::nullopt;
    QStringList lines = ShiftJis::Decode(*bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();   // the line end of the last line
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

struct TCatalogueFiles {
    QStringList tbl;
    QStringList tblstrc;
};

// Both files are read before anything is dropped, so that a missing file
// leaves the database as it was.  The message names the files that failed
// and, for those that are there but cannot be read, why.
TCatalogueFiles ReadCatalogueFiles()
{
    const QDir dir(CatalogueDirectory());
    TCatalogueFiles files;
    QStringList failed;
    QStringList reasons;
    for (const auto& [name, lines] : {std::pair{"tbl.csv", &files.tbl}, std::pair{"tblstrc.csv", &files.tblstrc}}) {
        QString reason;
        const QString file = QString::fromLatin1(name);
        if (const auto read = ReadLines(dir.filePath(file), reason)) {
            *lines = *read;
            continue;
        }
        failed << file;
        if (reason != PathKindText(TPathKind::Missing))
            reasons << file + QStringLiteral(" は") + reason;
    }
    if (!failed.isEmpty()) {
        QString text = QStringLiteral("テーブル構造ファイル %1 をフォルダ %2 から読み込めません")
                           .arg(failed.join(QStringLiteral(", ")), QDir::toNativeSeparators(dir.path()));
        if (!reasons.isEmpty())
            text += QStringLiteral(": ") + reasons.join(QStringLiteral("、"));
        throw EFileError(text);
    }
    return files;
}

}  // namespace

void TBrelvanDb::uqTst(std::int32_t id)
{
    switch (id) {
    case 1:
        if (!LookUpTable(stnm, stid)) {
            DataModule().qst.Close();   // no column rows: the builder writes nothing
            return;
        }
        DataModule().qst.SetSQL(SqlText::ColumnRows(stid));
        DataModule().qst.Open();
        CheckColumnRows(stnm);
        return;
    case 2:
        LookUpTable(stnm, stid);
        return;
    case 3:
        break;
    default:
        return;
    }

    const TCatalogueFiles files = ReadCatalogueFiles();
    ShowMessage(QStringLiteral("AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます"));
    DataModule().qw.Close();   // no open result may hold the tables that are dropped
    DataModule().qst.Close();
    QSqlDatabase db = DataModule().Csq();

    // Drops, creates and every line commit together or not at all: a process
    // that ends half-way leaves the catalogue that was there before.
    TTransaction transaction(db);
    ExecSql(db, SqlText::DropAaatbn);
    ExecSql(db, SqlText::CreateAaatbn);
    ExecSql(db, SqlText::DropAaatst);
    ExecSql(db, SqlText::CreateAaatst);

    // One statement per line; a line whose statement fails is skipped, and
    // so is one whose number field holds no number (that text would be read
    // as SQL).  Each line runs in a savepoint of its own: if a failure has
    // taken the whole transaction with it, releasing the savepoint fails and
    // the rebuild ends there.
    const auto load = [&](const QStringList& lines, const QVector<int>& textFields, int fields,
                          QString (*insert)(const QStringList&)) {
        for (const QString& line : lines) {
            for (int slot = 11; slot < 11 + fields; ++slot)
                sa[slot].clear();
            const QStringList values = SqlText::CatalogueValues(line, textFields);
            for (int k = 1; k <= values.size() && 10 + k <= TSlots::Count; ++k)
                sa[10 + k] = values[k - 1];
            QStringList row;
            bool numbers = true;
            for (int k = 1; k <= fields; ++k) {
                const QString& value = sa[10 + k];
                const bool written = k <= values.size() - 1 && !textFields.contains(k);   // not quoted
                if (written && value != QLatin1String("NULL") && !SqlText::IsNumber(value))
                    numbers = false;
                row << value;
            }
            if (!numbers)
                continue;
            ExecSql(db, QStringLiteral("SAVEPOINT catalogue_line"));
            QSqlQuery query(db);
            const bool inserted = query.exec(insert(row));
            const QSqlError failure = query.lastError();
            query.finish();
            QSqlQuery release(db);
            if (!release.exec(QStringLiteral("RELEASE catalogue_line")))
                throw EDatabaseError(QStringLiteral("テーブル構造を作れません: ")
                                     + DatabaseReason(inserted ? release.lastError() : failure));
        }
    };
    load(files.tbl, SqlText::TblTextFields(), 6, &SqlText::InsertAaatbn);
    load(files.tblstrc, SqlText::TblstrcTextFields(), 9, &SqlText::InsertAaatst);
    transaction.Commit();
    ShowMessage(QStringLiteral("ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました "));
}
