#include "support/BatchRunner.h"

#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 10 * 60 * 1000;   // a sanitizer build on a busy machine is slow

QStringList Lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool IsRoot() { return ::geteuid() == 0; }

QString Setpriv() { return QStandardPaths::findExecutable(QStringLiteral("setpriv")); }

}  // namespace

bool CanDropRights() { return !IsRoot() || !Setpriv().isEmpty(); }

TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (asOtherUser && IsRoot())
        process.start(Setpriv(), QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                             QStringLiteral(BRELVAN_BATCH)} + args);
    else
        process.start(QStringLiteral(BRELVAN_BATCH), args);
    TRun run;
    if (!process.waitForStarted(kTimeoutMs))
        return run;
    const bool ended = process.waitForFinished(kTimeoutMs);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    run.Finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.ExitCode = process.exitCode();
    run.Out = Lines(process.readAllStandardOutput());
    run.Err = Lines(process.readAllStandardError());
    return run;
}
