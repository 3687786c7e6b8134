#include "app/Dialogs.h"

#include "app/Errors.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

TMessageSink& Sink()
{
    static TMessageSink sink;
    return sink;
}

int gUnhandledErrors = 0;

}  // namespace

void ShowMessage(const QString& text)
{
    if (Sink()) {
        Sink()(text);
        return;
    }
    // Without a window manager nobody hands the activation back when the box
    // closes: the window that was active asks for it again itself.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, owner);
    box.exec();
    if (owner)
        owner->activateWindow();
}

TMessageSink SetMessageSink(TMessageSink sink)
{
    TMessageSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

void HandleException(const std::exception& error)
{
    ++gUnhandledErrors;
    ShowMessage(QString::fromUtf8(error.what()));
}

int UnhandledErrorCount() { return gUnhandledErrors; }

TWaitCursor::TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
TWaitCursor::~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
