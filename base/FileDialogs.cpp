#include "base/FileDialogs.h"

#include <QByteArray>
#include <cstdio>

namespace {

TFileDialogSink& Sink()
{
    static TFileDialogSink sink;
    return sink;
}

}  // namespace

TFileAnswer AskFileName(const TFileRequest& request)
{
    if (Sink())
        return Sink()(request);
    const QByteArray bytes = (request.Caption + QStringLiteral(": ファイルを選べません")).toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
    return {};
}

TFileDialogSink SetFileDialogSink(TFileDialogSink sink)
{
    TFileDialogSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}
