// What the fault and crash tests share: running the program in a folder, the
// price file they give it, and reading the register back from the file after
// the program has released it.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

namespace Hardening {

inline const QString kPriceFile = QStringLiteral("tarvok_stock_average_daily_jp.csv");
inline const QString kDatabase = QStringLiteral("SQDB.DB");

struct TRun {
    bool Finished = false;   // ended by itself, without a signal, in time
    int ExitCode = -1;
    QStringList Out;         // the log lines
    QStringList Err;         // the message box texts
    QList<qint64> ErrAt;     // when each of them arrived, in ms after the start
};

// brelvan-batch in `folder` with `args`; asOtherUser runs it as the user
// "nobody" when the test runs as root, so that file permissions bite.  A run
// that has not ended after timeoutMs is killed (Finished stays false).
TRun RunBatch(const QString& folder, const QStringList& args, bool asOtherUser = false,
              int timeoutMs = 10 * 60 * 1000);

// Whether asOtherUser can take effect (not root, or root with setpriv).
bool CanDropRights();

// A price file in the real-world form: Shift-JIS, a Japanese header,
// quoted closes with thousands separators, CR LF, a trailer line.  The
// closes rise and fall so that the range is never empty.
QByteArray SmallPriceFile(int rows, QDate first = QDate(2020, 1, 1));

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// Every AYFS row, in stored order, each as its columns joined by "|" (NULL
// shown as "<NULL>"); read through its own read-only connection.  Empty
// when the file has no AYFS.
QStringList RegisterRows(const QString& databasePath);

// `PRAGMA integrity_check` as the sqlite3 command prints it.
QString IntegrityCheck(const QString& databasePath);

// Rows as the sqlite3 command prints them for `sql` (one line each).
QStringList Sqlite3Lines(const QString& databasePath, const QString& sql);

// Runs statements on a database file that no program holds.
void ExecOnFile(const QString& databasePath, const QStringList& statements);

// A sqlite3 process holding the database's exclusive lock until the result is released.
std::shared_ptr<void> HoldDatabase(const QString& databasePath);

// Permissions of the other user's run; RestoreRights gives the folder and
// everything in it back to its owner.
void MakeReadOnly(const QString& folder);
void MakeUnreadable(const QString& file);
void MakeWritableForAll(const QString& folder, const QString& file);
void RestoreRights(const QString& folder);

}  // namespace Hardening
