// The SQLite connections by name, opened with the settings every connection
// runs with, and the database's errors as the user reads them.
#pragma once

#include <QSqlDatabase>
#include <QString>

class QSqlError;

// A new QSQLITE connection under a name, with its lock wait set; not opened.
QSqlDatabase AddConnection(const QString& name);
// A fresh connection name from a stem: "csq_1", "csq_2", …
QString NextConnectionName(const char* stem);

// Opens a connection and applies the pragmas; a file database also takes its
// exclusive lock now.  EDatabaseError when it cannot be opened or is held by
// another program (after the lock wait).
void OpenConnection(QSqlDatabase db);
// A connection by name, opened (with its settings) when it is closed.
QSqlDatabase UseConnection(const QString& name);

// How long a connection waits for a lock another program holds.
inline constexpr int kBusyTimeoutMs = 250;

// The Japanese text of an SQLite result code (its primary code, the low
// byte of an extended one): "データベースファイルが壊れています" for
// SQLITE_CORRUPT, "データベースは他のプログラムが使用中です" for SQLITE_BUSY, and so
// on; a code without a text of its own gives "データベースエラー (コード N)".
QString SqliteCodeText(int code);

// A database error as the user reads it: the Japanese text of SQLite's
// result code (QSqlError::nativeErrorCode), or of Qt's kind of error when
// SQLite gave none, followed by the database's own text in brackets.
QString DatabaseReason(const QSqlError& error);

// "データベースエラー: " with the error's reason, and the statement on a
// second line when there is one.
QString DatabaseMessage(const QSqlError& error, const QString& sql);

// Runs one statement on a connection; EDatabaseError with the database's
// message when it fails.
void ExecSql(const QSqlDatabase& db, const QString& sql);
