#include "db/BatchMove.h"

#include "base/Errors.h"
#include "db/Connection.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVector>

void TBatchMove::Execute()
{
    constexpr int Batch = 100;
    if (!Reader || !Writer)
        throw EDatabaseError(QStringLiteral("テーブル複写の読込先または書込先がありません"));
    QSqlDatabase source = UseConnection(Reader->Connection);
    QSqlDatabase target = UseConnection(Writer->Connection);
    QSqlDriver* driver = target.driver();
    const auto name = [driver](const QString& id) {
        return driver->escapeIdentifier(id, QSqlDriver::FieldName);
    };
    const QString table = driver->escapeIdentifier(Writer->TableName, QSqlDriver::TableName);

    const QString selectSql = QStringLiteral("SELECT * FROM ") + Reader->TableName;
    QSqlQuery read(source);
    read.setForwardOnly(true);
    if (!read.exec(selectSql))
        throw EDatabaseError(DatabaseMessage(read.lastError(), selectSql));
    const QSqlRecord from = read.record();

    QSqlRecord to = target.record(Writer->TableName);
    if (to.isEmpty()) {   // a missing destination is created from the source's columns
        QStringList columns;
        for (int i = 0; i < from.count(); ++i)
            columns << name(from.fieldName(i));
        ExecSql(target, QStringLiteral("create table ") + table + QStringLiteral(" (") + columns.join(", ") + ")");
        to = target.record(Writer->TableName);
    }

    // Columns paired by name; destination columns without a source are skipped.
    QVector<int> sourceFields;
    QStringList targetNames;
    for (int i = 0; i < from.count(); ++i) {
        const int j = to.indexOf(from.fieldName(i));
        if (j < 0)
            continue;
        sourceFields << i;
        targetNames << name(to.fieldName(j));
    }
    if (sourceFields.isEmpty())
        return;
    const QString insertSql = QStringLiteral("insert into ") + table + QStringLiteral(" (") + targetNames.join(", ")
        + QStringLiteral(") values (") + QStringList(targetNames.size(), QStringLiteral("?")).join(", ")
        + QStringLiteral(")");
    QSqlQuery write(target);
    if (!write.prepare(insertSql))
        throw EDatabaseError(DatabaseMessage(write.lastError(), insertSql));

    QVector<QVector<QVariant>> rows;
    rows.reserve(Batch);
    for (;;) {
        rows.clear();
        while (rows.size() < Batch && read.next()) {
            QVector<QVariant> row;
            row.reserve(sourceFields.size());
            for (int field : sourceFields)
                row << read.value(field);
            rows << row;
        }
        if (read.lastError().isValid())
            throw EDatabaseError(DatabaseMessage(read.lastError(), selectSql));
        if (rows.isEmpty())
            return;
        if (!target.transaction())
            throw EDatabaseError(DatabaseMessage(target.lastError(), QStringLiteral("BEGIN")));
        for (const auto& row : rows) {
            for (int k = 0; k < row.size(); ++k)
                write.bindValue(k, row[k]);
            if (!write.exec()) {
                const QSqlError error = write.lastError();
                target.rollback();
                throw EDatabaseError(DatabaseMessage(error, insertSql));
            }
        }
        if (!target.commit()) {
            const QSqlError error = target.lastError();
            target.rollback();
            throw EDatabaseError(DatabaseMessage(error, QStringLiteral("COMMIT")));
        }
        if (rows.size() < Batch)
            return;
    }
}
