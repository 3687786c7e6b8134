#include "db/Connection.h"

#include "base/Errors.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <atomic>

namespace {

const QString kDriver = QStringLiteral("QSQLITE");
const QString kMemory = QStringLiteral(":memory:");

// The settings every connection runs with.
const char* const kPragmas[] = {
    "PRAGMA cache_size = 10000",
    "PRAGMA locking_mode = EXCLUSIVE",
    "PRAGMA synchronous = OFF",
    "PRAGMA journal_mode = DELETE",
    "PRAGMA foreign_keys = ON",
};

// SQLITE_BUSY (5) and SQLITE_LOCKED (6): another connection holds the file.
bool IsLockError(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

}  // namespace

QSqlDatabase AddConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    return db;
}

QString NextConnectionName(const char* stem)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2").arg(QLatin1String(stem)).arg(++counter);
}

// Under locking_mode EXCLUSIVE the lock taken by BEGIN EXCLUSIVE stays after
// the commit, so that no other program can write to the file while this one runs.
void OpenConnection(QSqlDatabase db)
{
    const QString file = db.databaseName();
    if (file.isEmpty())
        throw EDatabaseError(QStringLiteral("データベースファイルが指定されていません"));
    const QString shown = QDir::toNativeSeparators(file);
    if (!db.open())
        throw EDatabaseError(QStringLiteral("データベース ") + shown + QStringLiteral(" を開けません: ")
                             + db.lastError().text());
    QStringList statements;
    for (const char* pragma : kPragmas)
        statements << QString::fromLatin1(pragma);
    if (file != kMemory)
        statements << QStringLiteral("BEGIN EXCLUSIVE") << QStringLiteral("COMMIT");
    for (const QString& sql : statements) {
        QSqlQuery query(db);
        if (query.exec(sql))
            continue;
        const QSqlError error = query.lastError();
        query = QSqlQuery();
        db.close();
        if (IsLockError(error))
            throw EDatabaseError(QStringLiteral("データベース ") + shown
                                 + QStringLiteral(" は他のプログラムが使用中です"));
        throw EDatabaseError(DatabaseMessage(error, sql));
    }
}

QSqlDatabase UseConnection(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isValid())
        throw EDatabaseError(QStringLiteral("接続 ") + name + QStringLiteral(" がありません"));
    if (!db.isOpen())
        OpenConnection(db);
    return db;
}

QString DatabaseMessage(const QSqlError& error, const QString& sql)
{
    QString reason = error.text().trimmed();
    if (reason.isEmpty())
        reason = sql.trimmed().isEmpty() ? QStringLiteral("実行する SQL 文がありません")
                                         : QStringLiteral("データベースが理由を返しませんでした");
    QString text = QStringLiteral("データベースエラー: ") + reason;
    if (!sql.trimmed().isEmpty())
        text += QStringLiteral("\n") + sql.trimmed();
    return text;
}

void ExecSql(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw EDatabaseError(DatabaseMessage(query.lastError(), sql));
}
