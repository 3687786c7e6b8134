#include "HardeningSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocale>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QStringEncoder>
#include <gtest/gtest.h>
#include <unistd.h>

namespace Hardening {

namespace {

QStringList Lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool IsRoot() { return ::geteuid() == 0; }

QString Setpriv() { return QStandardPaths::findExecutable(QStringLiteral("setpriv")); }

// A connection of its own on a database file; removed when it goes.
class TFileConnection {
public:
    TFileConnection(const QString& path, bool readOnly)
    {
        static int serial = 0;
        fName = QStringLiteral("hardening_%1").arg(++serial);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), fName);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        fOpen = db.open();
        EXPECT_TRUE(fOpen) << path.toStdString() << ": " << db.lastError().text().toStdString();
    }
    ~TFileConnection()
    {
        QSqlDatabase::database(fName, false).close();
        QSqlDatabase::removeDatabase(fName);
    }
    QSqlDatabase Db() const { return QSqlDatabase::database(fName, false); }
    bool Open() const { return fOpen; }

private:
    QString fName;
    bool fOpen = false;
};

}  // namespace

bool CanDropRights() { return !IsRoot() || !Setpriv().isEmpty(); }

TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (asOtherUser && IsRoot())
        process.start(Setpriv(), QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                             QStringLiteral(BRELVAN_BATCH)} + args);
    else
        process.start(QStringLiteral(BRELVAN_BATCH), args);
    TRun run;
    QElapsedTimer clock;
    clock.start();
    if (!process.waitForStarted(timeoutMs))
        return run;
    // Standard error is read as it comes, so that each message has its time.
    process.setReadChannel(QProcess::StandardError);
    QByteArray err;
    const auto takeErr = [&] {
        err += process.readAllStandardError();
        for (qsizetype end = err.indexOf('\n'); end >= 0; end = err.indexOf('\n')) {
            const QString line = QString::fromUtf8(err.left(end));
            err.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            run.Err << line;
            run.ErrAt << clock.elapsed();
        }
    };
    bool ended = false;
    while (!ended && clock.elapsed() < timeoutMs) {
        process.waitForReadyRead(100);
        takeErr();
        ended = process.state() == QProcess::NotRunning;
    }
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    takeErr();
    if (!err.isEmpty()) {
        run.Err << QString::fromUtf8(err);
        run.ErrAt << clock.elapsed();
    }
    run.Finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.ExitCode = process.exitCode();
    run.Out = Lines(process.readAllStandardOutput());
    return run;
}

QByteArray SmallPriceFile(int rows, QDate first)
{
    QString text = QStringLiteral("日付,終値,始値,高値,安値\r\n");
    text.reserve(rows * 40);
    for (int i = 0; i < rows; ++i) {
        const double close = 1000.0 + (i % 977) * 3.25;
        const QString price = QLocale(QLocale::English).toString(close, 'f', 2);
        text += first.addDays(i).toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral(",\"") + price
              + QStringLiteral("\",1,2,3\r\n");
    }
    text += QStringLiteral("※出典: 試験用の価格\r\n");
    QStringEncoder encode("Shift_JIS");
    return encode(text);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList RegisterRows(const QString& databasePath)
{
    QStringList rows;
    if (!QFile::exists(databasePath))
        return rows;
    TFileConnection connection(databasePath, true);
    if (!connection.Open() || !connection.Db().tables().contains(QStringLiteral("AYFS")))
        return rows;
    QSqlQuery query(connection.Db());
    EXPECT_TRUE(query.exec(QStringLiteral("select * from AYFS order by rowid"))) << query.lastError().text().toStdString();
    while (query.next()) {
        QStringList values;
        for (int c = 0; c < query.record().count(); ++c)
            values << (query.isNull(c) ? QStringLiteral("<NULL>") : query.value(c).toString());
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList Sqlite3Lines(const QString& databasePath, const QString& sql)
{
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {databasePath, sql});
    EXPECT_TRUE(sqlite.waitForFinished(60000));
    EXPECT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
    return Lines(sqlite.readAllStandardOutput());
}

QString IntegrityCheck(const QString& databasePath)
{
    return Sqlite3Lines(databasePath, QStringLiteral("PRAGMA integrity_check")).join(QLatin1Char('\n'));
}

void ExecOnFile(const QString& databasePath, const QStringList& statements)
{
    TFileConnection connection(databasePath, false);
    for (const QString& sql : statements) {
        QSqlQuery query(connection.Db());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
    }
}

std::shared_ptr<void> HoldDatabase(const QString& databasePath)
{
    auto sqlite = std::shared_ptr<QProcess>(new QProcess, [](QProcess* p) {
        p->closeWriteChannel();
        if (!p->waitForFinished(30000))
            p->kill();
        p->waitForFinished();
        delete p;
    });
    sqlite->start(QStringLiteral("sqlite3"), {databasePath});
    EXPECT_TRUE(sqlite->waitForStarted());
    sqlite->write("PRAGMA locking_mode = EXCLUSIVE;\nBEGIN EXCLUSIVE;\nselect 'held';\n");
    QByteArray out;
    while (!out.contains("held") && sqlite->waitForReadyRead(30000))
        out += sqlite->readAllStandardOutput();
    EXPECT_TRUE(out.contains("held")) << "sqlite3 did not take the lock";
    return sqlite;
}

void MakeReadOnly(const QString& folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther);
}

void MakeUnreadable(const QString& file) { QFile::setPermissions(file, QFileDevice::Permissions()); }

void MakeWritableForAll(const QString& folder, const QString& file)
{
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                   | QFile::WriteOther;
    QFile::setPermissions(folder, all | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QFile::setPermissions(file, all);
}

void RestoreRights(const QString& folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace Hardening
