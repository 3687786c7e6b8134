// The controller's database side and a data module working in a fresh temporary folder, with
// every message collected instead of shown.
#pragma once

#include "base/Messages.h"
#include "db/BrelvanDb.h"
#include "db/Data.h"
#include "PrintQString.h"

#include <QDir>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <memory>

class DbFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
        previousDm = dm;
        module = std::make_unique<Tdm>();
        dm = module.get();
        form = std::make_unique<TBrelvanDb>();
        previousSink = SetMessageSink([this](const QString& text) { messages << text; });
    }

    void TearDown() override
    {
        SetMessageSink(previousSink);
        form.reset();
        dm = previousDm;
        module.reset();
        QDir::setCurrent(previousDir);
    }

    QString DbPath() const { return QDir(folder.path()).filePath(QStringLiteral("SQDB.DB")); }

    // One value of a query on a connection (the first column of the first row).
    static QVariant Value(const QSqlDatabase& db, const QString& sql)
    {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        return query.next() ? query.value(0) : QVariant();
    }
    static int Count(const QSqlDatabase& db, const QString& table)
    {
        return Value(db, QStringLiteral("select count(*) from ") + table).toInt();
    }
    static void Exec(const QSqlDatabase& db, const QString& sql)
    {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
    }
    // The create text SQLite keeps for a table of the file database.
    static QString Schema(const QSqlDatabase& db, const QString& table)
    {
        return Value(db, QStringLiteral("select sql from sqlite_master where type = 'table' and name = '%1'")
                             .arg(table))
            .toString();
    }

    QTemporaryDir folder;
    QString previousDir;
    Tdm* previousDm = nullptr;
    std::unique_ptr<Tdm> module;
    std::unique_ptr<TBrelvanDb> form;
    TMessageSink previousSink;
    QStringList messages;
};
