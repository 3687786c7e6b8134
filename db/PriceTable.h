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

// The rows one multi-row update of the whole-period prediction writes, and
// the rows written between two commits at most.
inline constexpr int kUpdateBatchRows = 64;
inline constexpr int kUpdateCommitRows = 8192;

// The whole-period prediction's updates of the price table, written as the
// text statement of each row (SqlText::UpdateText) writes them: the prices
// bound as the texts of their literals and cast to REAL as SQLite reads the
// literals, the row bound as an integer.  Rows are gathered and written
// kUpdateBatchRows at a time by one update over a list of values; a shorter
// run, a block the database refuses, a row with one price and a price that
// is no plain "#0.00" text go one row at a time through the one-row update,
// and a row that fails there (or every row, when the statements cannot be
// prepared) through its text statement on the owner (uexSqlM), which fails
// and is reported exactly as the text fails.  The owner's LastSqlOk and
// LastSqlError then tell the last row's outcome; its sqw is left as it was
// unless a text statement ran.
//
// What is written until Flush (at most kUpdateCommitRows rows) is one
// transaction: a commit after each statement would cost what the whole
// table's size costs.  A row refused is
// refused alone, as it is on its own: before a text statement runs, and
// after any statement fails, what came before is committed; should the
// database have dropped the transaction with it, those rows are written
// again, one at a time.
class TPriceUpdates {
public:
    explicit TPriceUpdates(TBrelvanDb& owner);   // prepares on the data module's in-memory connection
    ~TPriceUpdates();                            // writes what is gathered and commits
    TPriceUpdates(const TPriceUpdates&) = delete;
    TPriceUpdates& operator=(const TPriceUpdates&) = delete;

    // Writes price1 into YCL1 and, unless price2 is null, price2 into YCL2
    // of the row, now or at the next Flush.
    void Update(std::int32_t row, const QString& price1, const QString& price2);
    void Flush();   // writes the rows gathered and commits

private:
    struct TRow {
        std::int32_t Row;
        QString Price1, Price2;
    };
    void WritePending();
    bool RunBlock();
    void RunOne(const TRow& row, bool inTransaction);
    void Begin();
    void Commit();

    TBrelvanDb& fOwner;
    QSqlDatabase fDb;
    std::optional<QSqlQuery> fBlock;
    std::optional<QSqlQuery> fBoth;
    std::optional<QSqlQuery> fFirst;
    bool fPrepared = false;
    bool fBlockPrepared = false;
    bool fInTransaction = false;
    std::vector<TRow> fPending;   // gathered for the next block
    std::vector<TRow> fWritten;   // written in the open transaction
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
