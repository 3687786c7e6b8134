// The whole-period prediction's updates of the in-memory price table through
// statements prepared once: the same update SqlText::UpdateText writes, its
// prices bound as the texts of their literals and cast to REAL as SQLite
// reads the literals, the row bound as an integer.
#pragma once

#include <QSqlQuery>
#include <QString>
#include <cstdint>
#include <optional>

class TPriceUpdates {
public:
    TPriceUpdates();   // prepares on the data module's in-memory connection

    // Writes price1 (and price2 unless it is null) into YCL1 (and YCL2) of
    // the row; true when it did so.  False, with nothing written, for a price
    // that is no plain "#0.00" text, when the statements could not be
    // prepared, or when the database refused the update: the caller then
    // runs the row's text statement, which fails and is reported exactly as
    // its text fails.
    bool Run(std::int32_t row, const QString& price1, const QString& price2);

private:
    std::optional<QSqlQuery> fBoth;
    std::optional<QSqlQuery> fFirst;
    bool fPrepared = false;
};
