// Drives the real main window with its data module in a temporary folder
// made current, every message box caught.
#pragma once

#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "db/Data.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

// The two messages of the catalogue build on a new database file.
inline QStringList CatalogueMessages()
{
    return {QStringLiteral("AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます"),
            QStringLiteral("ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました ")};
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.isValid());
        fOldDir = QDir::currentPath();
        QDir::setCurrent(fDir.path());
        fPreviousSink = SetMessageSink([this](const QString& text) {
            Messages << text;
            if (OnMessage)
                OnMessage(text);
        });
    }

    void TearDown() override
    {
        CloseWindow();
        SetMessageSink(fPreviousSink);
        QDir::setCurrent(fOldDir);
    }

    // Creates the window, then the data module, and shows the window: its
    // activation runs the start-up.
    TBrelvanF* OpenWindow()
    {
        CloseWindow();
        Window = std::make_unique<TBrelvanF>();
        BrelvanF = Window.get();
        Module = std::make_unique<Tdm>();
        dm = Module.get();
        Window->show();
        Window->activateWindow();
        QCoreApplication::processEvents();
        return Window.get();
    }

    void CloseWindow()
    {
        Window.reset();
        dm = nullptr;
        Module.reset();
        QCoreApplication::processEvents();
    }

    // Leaving the window and coming back, as the window system reports it.
    void Reenter()
    {
        QEvent leave(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(Window.get(), &leave);
        Activate();
    }

    void Activate()
    {
        QEvent enter(QEvent::WindowActivate);
        QCoreApplication::sendEvent(Window.get(), &enter);
    }

    // Runs statements on the database file while no window holds it.
    void ExecOnFile(const QStringList& statements)
    {
        const QString name = QStringLiteral("fixture_seed");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(fDir.filePath(QStringLiteral("SQDB.DB")));
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            for (const QString& sql : statements) {
                QSqlQuery query(db);
                ASSERT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    // One value read through the window's own file connection.
    QVariant FileValue(const QString& sql)
    {
        QSqlQuery query(dm->Csq());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
        return query.next() ? query.value(0) : QVariant();
    }

    // A first start on the empty folder: the database file with its catalogue
    // and empty tables.  The window is closed again and the messages cleared.
    void CreateDatabase()
    {
        OpenWindow();
        ASSERT_TRUE(Window->Started());
        CloseWindow();
        Messages.clear();
    }

    QTemporaryDir fDir;
    QString fOldDir;
    TMessageSink fPreviousSink;
    QStringList Messages;
    std::function<void(const QString&)> OnMessage;
    std::unique_ptr<TBrelvanF> Window;
    std::unique_ptr<Tdm> Module;
};

// An insert of one register row; values are given as SQL literals.
inline QString RegisterRow(int cnt, const QString& lyipn, const QString& lyopn, const QString& tyo = QStringLiteral("NULL"))
{
    return QStringLiteral("insert into AYFS (CNT, DT, TF, DN, LNN, LNR, LYIPN, LYM1N, LYM2N, LYOPN, LNTM, MSE, TYO) "
                          "values (%1, '2026/01/0%1 10:00', '0', '500%1', '30%1', '0.005', %2, '9', '4', %3, "
                          "'0:1%1', '0.00000%1', %4)")
        .arg(cnt)
        .arg(lyipn, lyopn, tyo);
}
