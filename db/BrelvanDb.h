// The controller's database side: the statement state its operations share
// (the 60 text slots and the texts sqw, stdb, stid, stnm, swh) and the
// operations on it: the statement builder and its two executions, the table
// catalogue, the database start-up and the price grid's query.  The main
// window TBrelvanF is this class too (through the price commands'
// TBrelvanPrices); the operations work on the data module dm.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

// The statement builder's 60 text slots, indexed 1..60; any other index
// raises ERangeError.
class TSlots {
public:
    static constexpr int Count = 60;
    QString& operator[](int index);
    const QString& operator[](int index) const;
private:
    std::array<QString, Count> fSlots;
};

// One column of a table as the catalogue describes it and the builder
// writes its values: name, type word, length, and whether it holds text.
struct TColumnRow {
    QString Name;
    QString Kt;
    int Ln = 0;
    bool Text = false;
};

// An insert fills the k-th column from slot 10 + k: at most 50 columns.  A
// table of more raises ERangeError naming it.
inline constexpr int kMaxInsertColumns = TSlots::Count - 10;
void CheckInsertColumns(const QString& table, int columns);

class TBrelvanDb {
public:
    TBrelvanDb() = default;
    virtual ~TBrelvanDb() = default;
    TBrelvanDb(const TBrelvanDb&) = delete;
    TBrelvanDb& operator=(const TBrelvanDb&) = delete;

    // ---- Statement builder and execution (Statement.cpp) --------------------
    void ucSql(std::int32_t id);
    // The select of every catalogue column of stnm and then of `detail`
    // (its `key` column left out) into sqw, the rows of stnm joined with
    // their detail rows by `key`, followed by swh (SqlText::SelectWithDetail).
    // `widths` receives the selected columns' display widths (DPW, 0 when
    // NULL) in order.  Returns the name of a table the catalogue does not
    // list (sqw is then empty), or an empty text.
    QString ucSqlDetail(const QString& detail, const QString& key, std::vector<int>& widths);
    void ucNul(QString& st, std::int32_t id, std::int32_t il);
    void uexSql();
    void uexSqlM();
    // The builder's value rule, shared by ucSql and the batched insert: the
    // value in sa[9] becomes its literal for the column (a text quoted and
    // cut to its length, a number as it is or NULL), sa[7] the column's type
    // word.  ucSql(7) does this for the current column row.
    void ColumnLiteral(const TColumnRow& column);
    // The insert of stnm from the value slots sa[11] onward, one per column
    // (ucSql(2) for the catalogue's column rows): sa[1] takes the values
    // joined, slots 12 onward their literals, sqw the statement.
    void InsertFromSlots(const std::vector<TColumnRow>& columns);

    // ---- Catalogue (Catalogue.cpp), start-up and price grid (Startup.cpp) ---
    void uqCdb();
    void uqCtbl(std::int32_t id);
    void uqTst(std::int32_t id);
    void uqb(std::int32_t id);

    // ---- Statement state --------------------------------------------------------
    // Public so that the headless driver and the tests can read it; only the
    // controller's own operations change it.
    TSlots sa;
    QString sqw;    // the statement being built or about to be executed
    QString stdb;   // "csq" (file) or "csqM" (in-memory): the type rule of a create
    QString stid;   // TBID of the table found by the last look-up
    QString stnm;   // name of the current table
    QString swh;    // clause appended to a select or update

    // Outcome of the last uexSql/uexSqlM: they swallow errors, but callers
    // that must tell the user (the run register) can read them here.
    bool LastSqlOk = true;
    QString LastSqlError;
};
