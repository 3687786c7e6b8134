// The in-memory price table AYNK through prepared statements: the import's
// rows (TPriceInserter), the whole-period prediction's updates
// (TPriceUpdates), and every row read back in order (TPriceRows).  Each stores exactly what the text
// statement of the same row stores, and falls back to that text statement
// where a value could be stored differently.
#pragma once

#include "db/CatalogueCache.h"

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class TBrelvanDb;

// The rows one multi-row insert of the import writes: 64 rows of 14 columns
// keep within the 999 placeholders every SQLite accepts.
inline constexpr int kInsertBatchRows = 64;

// Inserts rows into the price table (the owner's stnm, on the in-memory
// database) as the builder's insert (ucSql(2)) stores them: the rows are
// gathered and written kInsertBatchRows at a time by one multi-row insert,
// and a shorter run (the last rows, or those before a row that needs its
// literal) one row at a time through the one-row insert.  A row whose values
// only a literal can store (and every row, when the statements cannot be
// prepared or the table has more columns than a row holds) goes through the
// builder's text insert instead, after the rows before it.  A row the
// database refuses raises EDatabaseError "価格テーブルを更新できません: …".
class TPriceInserter {
public:
    // The values of one row as they would go into sa[11] to sa[24].
    static constexpr int kColumns = 14;
    using TRow = std::array<QString, kColumns>;

    explicit TPriceInserter(TBrelvanDb& owner);

    // The row's texts are bound, not copied: they must live until Finish.
    void Insert(const TRow& values);

    // Writes the rows still gathered and leaves sqw and the slots as the
    // text insert of the last row left them.
    void Finish(const TRow& last);

private:
    struct TPrepared {
        explicit TPrepared(const QSqlDatabase& db) : Query(db) {}
        QSqlQuery Query;
        std::vector<bool> Nulls;   // where NULL is bound already
    };

    bool Prepare(TPrepared& insert, int rows);
    void Flush();
    void BuildText(const TRow& values);
    void ExecuteText();

    TBrelvanDb& fOwner;
    TCatalogueCache fCache;
    TPrepared fOne;
    TPrepared fMany;
    std::vector<TRow> fPending;   // rows gathered for the next multi-row insert
    bool fPrepared = false;
};

// The whole-period prediction's updates through statements prepared once:
// the same update SqlText::UpdateText writes, its prices bound as the texts
// of their literals and cast to REAL as SQLite reads the literals, the row
// bound as an integer.
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

// Every row of the in-memory price table in CNT order, read forward once:
// the named columns in the order given, or every column of the table in its
// own order when none are named.  Names are plain identifiers (ERangeError
// otherwise); a table the database cannot read raises EDatabaseError
// "価格テーブルを読めません: …".
class TPriceRows {
public:
    explicit TPriceRows(const QStringList& columns = {});
    const QStringList& Columns() const { return fColumns; }   // as the table names them
    bool Next();                        // the next row; false after the last
    QVariant Value(int column) const;   // of the current row; a null QVariant for NULL

private:
    QSqlQuery fQuery;
    QStringList fColumns;
};
