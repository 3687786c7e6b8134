// brelvan-batch run as a user runs it, for the tests that drive the whole
// program: in a folder, with arguments, its outputs read back line by line.
#pragma once

#include <QString>
#include <QStringList>

struct TRun {
    bool Finished = false;   // ended by itself, without a signal, in time
    int ExitCode = -1;
    QStringList Out;         // the log lines
    QStringList Err;         // the message box texts
};

// brelvan-batch in `folder` with `args`; asOtherUser runs it as the user
// "nobody" when the test runs as root, so that file permissions bite.
TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser = false);

// Whether asOtherUser can take effect (not root, or root with setpriv).
bool CanDropRights();
