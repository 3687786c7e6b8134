// Drives the real main window with its data module in a temporary folder
// made current, every message box caught.
#pragma once

#include "app/BrelvanU.h"
#include "support/ControllerFixture.h"

#include <QCoreApplication>
#include <QEvent>

class WindowFixture : public ControllerFixture<TBrelvanF> {
protected:
    // Creates the window, then the data module, and shows the window: its
    // activation runs the start-up.
    TBrelvanF* OpenWindow()
    {
        Create();
        BrelvanF = form.get();
        form->show();
        form->activateWindow();
        QCoreApplication::processEvents();
        return form.get();
    }

    void CloseWindow()
    {
        Close();
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        CloseWindow();
        ControllerFixture::TearDown();
    }

    // Leaving the window and coming back, as the window system reports it.
    void Reenter()
    {
        QEvent leave(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(form.get(), &leave);
        Activate();
    }

    void Activate()
    {
        QEvent enter(QEvent::WindowActivate);
        QCoreApplication::sendEvent(form.get(), &enter);
    }

    // One value read through the window's own file connection.
    QVariant FileValue(const QString& sql) { return Value(dm->Csq(), sql); }

    // A first start on the empty folder: the database file with its catalogue
    // and empty tables.  The window is closed again and the messages cleared.
    void CreateDatabase()
    {
        OpenWindow();
        ASSERT_TRUE(form->Started());
        CloseWindow();
        messages.clear();
    }
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
