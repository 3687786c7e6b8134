// brelvan-batch run as a user runs it, for the tests that drive the whole
// program: in a folder, with arguments, its outputs read back line by line.
#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

struct TRun {
    bool Finished = false;   // ended by itself, without a signal, in time
    int ExitCode = -1;
    QStringList Out;         // the log lines
    QStringList Err;         // the message box texts
    QList<qint64> ErrAt;     // when each of them arrived, in ms after the start
};

inline constexpr int kBatchTimeoutMs = 10 * 60 * 1000;   // a sanitizer build on a busy machine is slow

// Ctrl+C as a user presses it: once the log has a line that starts with
// `AfterLine`, SIGINT is sent `Times` times, 200 ms apart (signals sent
// closer together may arrive as one).
struct TInterrupt {
    QString AfterLine;
    int Times = 1;
};

// brelvan-batch in `folder` with `args`; asOtherUser runs it as the user
// "nobody" when the test runs as root, so that file permissions bite.  A run
// that has not ended after timeoutMs is killed (Finished stays false).
// `prepare` may set the process up before it starts (redirect an output,
// limit a resource); an output redirected to a file reads back empty.
TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser = false,
              int timeoutMs = kBatchTimeoutMs, const std::function<void(QProcess&)>& prepare = nullptr,
              const TInterrupt& interrupt = {});

// Whether asOtherUser can take effect (not root, or root with setpriv).
bool CanDropRights();
