#include "fuzz/CheckSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

namespace FuzzChecks {

QSqlDatabase MemoryDatabase(const QString& name, const QStringList& setup)
{
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open())
        qFatal("in-memory database: %s", qPrintable(db.lastError().text()));
    for (const QString& sql : setup)
        if (!Exec(db, sql))
            qFatal("in-memory database: %s", qPrintable(sql));
    return db;
}

bool Exec(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    return query.exec(sql);
}

long long Count(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

std::string ScratchPath(const char* name)
{
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/brelvan-fuzz-XXXXXX"));
        if (!d->isValid())
            qFatal("no temporary folder");
        return d;
    }();
    return QDir(dir->path()).filePath(QString::fromLatin1(name)).toStdString();
}

}  // namespace FuzzChecks
