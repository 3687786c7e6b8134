#include "base/Messages.h"

#include <QByteArray>
#include <cstdio>

namespace {

TMessageSink& Sink()
{
    static TMessageSink sink;
    return sink;
}

TQuestionSink& QuestionSink()
{
    static TQuestionSink sink;
    return sink;
}

int gUnhandledErrors = 0;

void WriteLine(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
}

}  // namespace

void ShowMessage(const QString& text)
{
    if (Sink()) {
        Sink()(text);
        return;
    }
    WriteLine(text);
}

TMessageSink SetMessageSink(TMessageSink sink)
{
    TMessageSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

bool AskYesNo(const QString& text)
{
    if (QuestionSink())
        return QuestionSink()(text);
    WriteLine(text);
    return true;
}

TQuestionSink SetQuestionSink(TQuestionSink sink)
{
    TQuestionSink previous = std::move(QuestionSink());
    QuestionSink() = std::move(sink);
    return previous;
}

void HandleException(const std::exception& error)
{
    ++gUnhandledErrors;
    ShowMessage(QString::fromUtf8(error.what()));
}

int UnhandledErrorCount() { return gUnhandledErrors; }
