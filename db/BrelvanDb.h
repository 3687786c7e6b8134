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

class TBrelvanDb {
public:
    TBrelvanDb() = default;
    virtual ~TBrelvanDb() = default;
    TBrelvanDb(const TBrelvanDb&) = delete;
    TBrelvanDb& operator=(const TBrelvanDb&) = delete;

    // ---- Statement builder and execution (Statement.cpp) --------------------
    void ucSql(std::int32_t id);
    void ucNul(QString& st, std::int32_t id, std::int32_t il);
    void uexSql();
    void uexSqlM();
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
