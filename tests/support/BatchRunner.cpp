#include "support/BatchRunner.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace {

QStringList Lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool IsRoot() { return ::geteuid() == 0; }

QString Setpriv() { return QStandardPaths::findExecutable(QStringLiteral("setpriv")); }

}  // namespace

bool CanDropRights() { return !IsRoot() || !Setpriv().isEmpty(); }

TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser, int timeoutMs,
              const std::function<void(QProcess&)>& prepare, const TInterrupt& interrupt)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (prepare)
        prepare(process);
    if (asOtherUser && IsRoot())
        process.start(Setpriv(), QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                             QStringLiteral(BRELVAN_BATCH)} + args);
    else
        process.start(QStringLiteral(BRELVAN_BATCH), args);
    TRun run;
    QElapsedTimer clock;
    clock.start();
    if (!process.waitForStarted(timeoutMs))
        return run;
    // Standard error is read as it comes, so that each message has its time.
    process.setReadChannel(QProcess::StandardError);
    QByteArray err;
    const auto takeErr = [&] {
        err += process.readAllStandardError();
        for (qsizetype end = err.indexOf('\n'); end >= 0; end = err.indexOf('\n')) {
            const QString line = QString::fromUtf8(err.left(end));
            err.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            run.Err << line;
            run.ErrAt << clock.elapsed();
        }
    };
    // Standard output is read as it comes too, when a line is to be awaited.
    QByteArray out;
    bool interrupted = interrupt.AfterLine.isEmpty();
    const auto takeOut = [&] {
        out += process.readAllStandardOutput();
        if (interrupted || !Lines(out).filter(QRegularExpression(
                               QStringLiteral("^") + QRegularExpression::escape(interrupt.AfterLine))).size())
            return;
        interrupted = true;
        for (int i = 0; i < interrupt.Times; ++i) {
            if (i > 0)
                QThread::msleep(200);
            ::kill(pid_t(process.processId()), SIGINT);
        }
    };
    bool ended = false;
    while (!ended && clock.elapsed() < timeoutMs) {
        process.waitForReadyRead(100);
        takeErr();
        takeOut();
        ended = process.state() == QProcess::NotRunning;
    }
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    takeErr();
    if (!err.isEmpty()) {
        run.Err << QString::fromUtf8(err);
        run.ErrAt << clock.elapsed();
    }
    run.Finished = ended && process.exitStatus() == QProcess::NormalExit;
    run.ExitCode = process.exitCode();
    run.Out = Lines(out + process.readAllStandardOutput());
    return run;
}
