#include "base/Messages.h"

#include <QByteArray>
#include <algorithm>
#include <new>
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

// The program's own errors and the network's are Japanese; a standard
// library's (std::bad_alloc, a vector's length_error) is English, and gets a
// Japanese text before it.
QString MessageOf(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("メモリが足りません");
    const QString text = QString::fromUtf8(error.what());
    const bool japanese = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3000; });
    return japanese ? text : QStringLiteral("予期しないエラーが発生しました (") + text + QLatin1Char(')');
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
    ShowMessage(MessageOf(error));
}

int UnhandledErrorCount() { return gUnhandledErrors; }
