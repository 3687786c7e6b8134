#include "app/Dialogs.h"

#include "app/Errors.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

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
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
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
