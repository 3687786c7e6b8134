// The table catalogue: look up a table, open its column rows, rebuild the
// catalogue from the two files in the catalogue directory.
#include "db/BrelvanDb.h"
#include "base/Messages.h"
#include "base/Errors.h"
#include "db/Data.h"
#include "db/SqlText.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QStringDecoder>

namespace {

// Looks stnm up in AAATBN; sets stid to its TBID when found, otherwise shows
// the not-found message and leaves stid as it was.
bool LookUpTable(const QString& stnm, QString& stid)
{
    TQuery& qw = DataModule().qw;
    qw.SetSQL(SqlText::LookupTable(stnm));
    qw.Open();
    if (qw.Eof()) {
        ShowMessage(SqlText::TableNotFound(stnm));
        return false;
    }
    stid = qw.FieldText(QStringLiteral("TBID"));
    qw.Close();
    return true;
}

// A catalogue file as lines of text (Shift-JIS, CR LF or LF), or no value
// when it cannot be read.
std::optional<QStringList> ReadLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    QStringDecoder decode("Shift_JIS");
    QStringList lines = QString(decode(bytes)).split(QLatin1Char('\n'));
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
// leaves the database as it was.
TCatalogueFiles ReadCatalogueFiles()
{
    const QDir dir(CatalogueDirectory());
    const auto tbl = ReadLines(dir.filePath(QStringLiteral("tbl.csv")));
    const auto tblstrc = ReadLines(dir.filePath(QStringLiteral("tblstrc.csv")));
    QStringList missing;
    if (!tbl)
        missing << QStringLiteral("tbl.csv");
    if (!tblstrc)
        missing << QStringLiteral("tblstrc.csv");
    if (!missing.isEmpty())
        throw EFileError(QStringLiteral("テーブル構造ファイル %1 をフォルダ %2 から読み込めません")
                             .arg(missing.join(QStringLiteral(", ")), QDir::toNativeSeparators(dir.path())));
    return {*tbl, *tblstrc};
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
    ExecSql(db, SqlText::DropAaatbn);
    ExecSql(db, SqlText::CreateAaatbn);
    ExecSql(db, SqlText::DropAaatst);
    ExecSql(db, SqlText::CreateAaatst);

    // One statement per line; a line whose statement fails is skipped.
    const auto load = [&](const QStringList& lines, const QVector<int>& textFields, int fields,
                          QString (*insert)(const QStringList&)) {
        for (const QString& line : lines) {
            for (int slot = 11; slot < 11 + fields; ++slot)
                sa[slot].clear();
            const QStringList values = SqlText::CatalogueValues(line, textFields);
            for (int k = 1; k <= values.size() && 10 + k <= TSlots::Count; ++k)
                sa[10 + k] = values[k - 1];
            QStringList row;
            for (int slot = 11; slot < 11 + fields; ++slot)
                row << sa[slot];
            QSqlQuery query(db);
            if (!query.exec(insert(row))) {
                query.finish();
                db.rollback();
            }
        }
    };
    load(files.tbl, SqlText::TblTextFields(), 6, &SqlText::InsertAaatbn);
    load(files.tblstrc, SqlText::TblstrcTextFields(), 9, &SqlText::InsertAaatst);
    ShowMessage(QStringLiteral("ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました "));
}
