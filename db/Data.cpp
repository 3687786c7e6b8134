#include "db/Data.h"

#include "base/Errors.h"
#include "base/RegularFile.h"
#include "db/Connection.h"

#include <QCoreApplication>
#include <QDir>

#include <QSqlDatabase>

Tdm* dm = nullptr;

Tdm& DataModule()
{
    if (!dm)
        throw EDatabaseError(QStringLiteral("データモジュールが作成されていません"));
    return *dm;
}

namespace {
QString& CatalogueDirectoryOverride()
{
    static QString dir;
    return dir;
}
}  // namespace

QString FindCatalogueDirectory(const QString& programDir, const QString& builtIn)
{
    QStringList candidates;
    if (!programDir.isEmpty()) {
        const QDir beside(programDir);
        candidates << QDir::cleanPath(beside.filePath(QStringLiteral("data")))
                   << QDir::cleanPath(beside.filePath(QStringLiteral("../share/brelvan")));
    }
    if (!builtIn.isEmpty())
        candidates << builtIn;
    for (const QString& dir : candidates) {
        const QDir folder(dir);
        if (PathKindOf(folder.filePath(QStringLiteral("tbl.csv"))) != TPathKind::Missing
            || PathKindOf(folder.filePath(QStringLiteral("tblstrc.csv"))) != TPathKind::Missing)
            return dir;
    }
    return candidates.value(0);
}

QString CatalogueDirectory()
{
    const QString& dir = CatalogueDirectoryOverride();
    if (!dir.isEmpty())
        return dir;
    return FindCatalogueDirectory(QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString(),
                                  QStringLiteral(BRELVAN_CATALOGUE_DIR));
}

QString SetCatalogueDirectory(const QString& dir)
{
    const QString before = CatalogueDirectory();
    CatalogueDirectoryOverride() = dir;
    return before;
}

// ---- Tdm ---------------------------------------------------------------------

Tdm::Tdm(QObject* parent)
    : QObject(parent),
      csq(NextConnectionName("csq")),
      csqM(NextConnectionName("csqM")),
      qb(QStringLiteral("select * from AYNK")),
      qc(QStringLiteral("select * from AYFS")),
      qw(QStringLiteral("select * from AAATBN")),
      qst(QStringLiteral("select * from AAATST"))
{
    AddConnection(csq);
    AddConnection(csqM).setDatabaseName(QStringLiteral(":memory:"));
    qb.SetConnection(csqM);
    qb.SetPaged(true);   // the whole price table: its grid reads the rows it shows
    qc.SetConnection(csq);
    qw.SetConnection(csq);
    qst.SetConnection(csq);
    BmSqRd.Connection = csq;
    BmSqWt.Connection = csqM;
    FDBm.Reader = &BmSqRd;
    FDBm.Writer = &BmSqWt;
    bds.DataSet = &qb;
    cds.DataSet = &qc;
}

Tdm::~Tdm()
{
    for (TQuery* query : {&qb, &qc, &qw, &qst})
        query->Close();
    for (const QString& name : {csq, csqM}) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

QSqlDatabase Tdm::Csq() const
{
    return UseConnection(csq);
}

QSqlDatabase Tdm::CsqM() const
{
    return UseConnection(csqM);
}

void Tdm::OpenFile(const QString& fileName)
{
    for (TQuery* query : {&qc, &qw, &qst})
        query->Close();
    QSqlDatabase db = QSqlDatabase::database(csq, false);
    db.close();
    db.setDatabaseName(fileName);
    fFileName = fileName;
    // Only a regular file (or none yet) is a database: a device or a FIFO
    // under the name would swallow every write or fail with a bare I/O error.
    QString reason;
    const TPathKind kind = PathKindOf(fileName, &reason);
    if (kind != TPathKind::Missing && kind != TPathKind::Regular)
        throw EDatabaseError(QStringLiteral("データベース %1 を開けません: %2")
                                 .arg(QDir::toNativeSeparators(fileName), reason.isEmpty() ? PathKindText(kind) : reason));
    OpenConnection(db);
}
