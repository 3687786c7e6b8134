// What every test of a controller shares: a fresh temporary folder made
// current, every message and question collected instead of shown (each
// question answered with `answer`), every file dialog answered from a list
// the test fills, and the controller
// (TBrelvanDb, the price commands' stand-in or the window TBrelvanF) with
// its data module, created in the program's order: the controller first,
// then dm.
#pragma once

#include "base/FileDialogs.h"
#include "base/Messages.h"
#include "db/Data.h"
#include "support/PrintQString.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

// The two notes of the catalogue build on a new database file.
inline QStringList CatalogueMessages()
{
    return {QStringLiteral("AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます"),
            QStringLiteral("ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました ")};
}

template <class TController>
class ControllerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        fPreviousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
        fPreviousDm = dm;
        fPreviousSink = SetMessageSink([this](const QString& text) {
            messages << text;
            if (OnMessage)
                OnMessage(text);
        });
        fPreviousFileSink = SetFileDialogSink([this](const TFileRequest& request) {
            fileRequests.push_back(request);
            if (fileAnswers.empty()) {
                ADD_FAILURE() << "unexpected file dialog: " << request.Caption.toStdString();
                return TFileAnswer();
            }
            TFileAnswer answer = fileAnswers.front();
            fileAnswers.pop_front();
            return answer;
        });
        fPreviousQuestions = SetQuestionSink([this](const QString& text) {
            questions << text;
            return answer;
        });
    }

    void TearDown() override
    {
        Close();
        SetMessageSink(fPreviousSink);
        SetFileDialogSink(fPreviousFileSink);
        EXPECT_TRUE(fileAnswers.empty()) << fileAnswers.size() << " file dialog answers left";
        SetQuestionSink(fPreviousQuestions);
        QDir::setCurrent(fPreviousDir);
    }

    // A new controller, then its data module.
    TController& Create()
    {
        Close();
        form = std::make_unique<TController>();
        module = std::make_unique<Tdm>();
        dm = module.get();
        return *form;
    }

    // The controller, then the data module: the database file is released.
    void Close()
    {
        form.reset();
        dm = fPreviousDm;
        module.reset();
    }

    QString PathOf(const QString& name) const { return QDir(folder.path()).filePath(name); }
    QString DbPath() const { return PathOf(QStringLiteral("SQDB.DB")); }

    // One value of a query on a connection (the first column of the first row).
    static QVariant Value(const QSqlDatabase& db, const QString& sql)
    {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
        return query.next() ? query.value(0) : QVariant();
    }
    static int Count(const QSqlDatabase& db, const QString& table)
    {
        return Value(db, QStringLiteral("select count(*) from ") + table).toInt();
    }
    static void Exec(const QSqlDatabase& db, const QString& sql)
    {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
    }
    // The create text SQLite keeps for a table of a database.
    static QString Schema(const QSqlDatabase& db, const QString& table)
    {
        return Value(db, QStringLiteral("select sql from sqlite_master where type = 'table' and name = '%1'")
                             .arg(table))
            .toString();
    }

    // Runs statements on the database file while no controller holds it.
    void ExecOnFile(const QStringList& statements)
    {
        const QString name = QStringLiteral("fixture_seed");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(DbPath());
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            for (const QString& sql : statements)
                Exec(db, sql);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QTemporaryDir folder;
    QStringList messages;
    std::function<void(const QString&)> OnMessage;   // called for each message as it comes
    // The answers the next file dialogs give, in order (an empty FileName:
    // the user cancels), and every request made.
    std::deque<TFileAnswer> fileAnswers;
    std::vector<TFileRequest> fileRequests;

    QStringList questions;
    bool answer = false;
    std::unique_ptr<TController> form;
    std::unique_ptr<Tdm> module;

private:
    QString fPreviousDir;
    Tdm* fPreviousDm = nullptr;
    TMessageSink fPreviousSink;
    TFileDialogSink fPreviousFileSink;
    TQuestionSink fPreviousQuestions;
};
