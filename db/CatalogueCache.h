// The column rows of one table, read from the catalogue once and then used
// for many inserts.  The statement builder reads the catalogue for every
// statement (two queries on the file database); an import of many thousand
// rows writes one insert per row into the same table, so it reads the rows
// once here.  Build() writes the insert exactly as the builder's id 2 does
// (the same code: TBrelvanDb::InsertFromSlots): the caller fills sa[11]
// onward, Build() writes sa[1], replaces slots 12 onward by their literals,
// leaves the last column's type and literal in sa[7] and sa[9], and puts the
// insert into sqw.
#pragma once

#include "db/BrelvanDb.h"

#include <QString>
#include <vector>

class QSqlQuery;
class TQuery;

// The column row the query stands on (the catalogue's AAATST), as the
// builder reads it.
TColumnRow ColumnRowOf(const TQuery& rows);

class TCatalogueCache {
public:
    // Reads the column rows of owner.stnm through the catalogue look-up.  A
    // table missing from the catalogue (reported by the look-up) leaves the
    // cache empty, and Build() then writes no statement.
    explicit TCatalogueCache(TBrelvanDb& owner);
    bool Empty() const { return fColumns.empty(); }
    int ColumnCount() const { return int(fColumns.size()); }
    const std::vector<TColumnRow>& Columns() const { return fColumns; }
    void Build();

    // The same insert with one placeholder per column for each of `rows`
    // rows, for a statement prepared once and executed many times.
    QString PlaceholderInsert(int rows = 1) const;
    // Whether Bind() can store a row as its literal would: values[k - 1] is
    // what the caller would put into sa[10 + k].  Empty gives NULL, a text
    // column the text cut to its length, a numeric column that holds a plain
    // decimal integer that integer.  Any other numeric text and a text holding
    // NUL can only be stored through the literal: the caller then builds that
    // row's statement with Build().
    bool Bindable(const QString* values) const;
    // Binds a Bindable() row to the placeholders from `first` on.  `nulls`
    // (one flag per placeholder of the statement) says where NULL is bound
    // already: a binding stays with a prepared statement from one execution
    // to the next, so NULL is bound there only once.
    void Bind(QSqlQuery& query, const QString* values, int first, std::vector<bool>& nulls) const;

private:
    TBrelvanDb& fOwner;
    QString fTable;
    std::vector<TColumnRow> fColumns;
    QString fHead;   // " insert into T ( c1, …, cn ) values ( "
};
