// Saving a whole file the program writes for the user (a table, a picture):
// the bytes go to a temporary file beside the target, which is renamed over
// the target only once it is complete.  A failure leaves the former file as
// it was and no temporary file behind.
#pragma once

#include <QByteArray>
#include <QString>

// Replaces (or creates) `fileName` with exactly `bytes`.  EFileError with a
// Japanese message naming the file and the reason when it cannot be done:
// "<file> に保存できませんでした: <reason>".
void SaveWholeFile(const QString& fileName, const QByteArray& bytes);

// The checks a save makes before it writes anything: a name, no folder of
// that name, an existing folder to save into.  EFileError as SaveWholeFile
// raises it.  For writers of their own (the network's model file).
void CheckSaveTarget(const QString& fileName);

// The message of a save that failed for `reason`.
QString SaveFailedText(const QString& fileName, const QString& reason);
