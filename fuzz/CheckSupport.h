// Small helpers of the fuzz checks: an in-memory SQLite connection of their
// own and a file in a private temporary folder.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <string>

namespace FuzzChecks {

// A private in-memory database under the given connection name, created on
// first use with the statements given then; later calls return it as it is.
QSqlDatabase MemoryDatabase(const QString& name, const QStringList& setup);

// Runs a statement; false when the database rejects it.
bool Exec(const QSqlDatabase& db, const QString& sql);

// The first value of a one-row query (an integer), or -1 when it fails.
long long Count(const QSqlDatabase& db, const QString& sql);

// A path in a folder that lives as long as the process.
std::string ScratchPath(const char* name);

}  // namespace FuzzChecks
