#include "app/Dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>

void ShowMessageBox(const QString& text)
{
    // Without a window manager nobody hands the activation back when the box
    // closes: the window that was active asks for it again itself.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
    if (owner)
        owner->activateWindow();
}

TWaitCursor::TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
TWaitCursor::~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
