// The column rows of one table, read from the catalogue once and then used
// for many inserts.  The statement builder reads the catalogue for every
// statement (two queries on the file database); an import of many thousand
// rows writes one insert per row into the same table, so it reads the rows
// once here and builds each insert from them.  The texts and the slots are
// exactly those of statement id 2 (ucSql): the caller fills sa[11] onward,
// Build() writes sa[1], replaces slots 12 onward by their literals, leaves the
// last column's type and literal in sa[7] and sa[9], and puts the insert into sqw.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QSqlQuery;
class TBrelvanF;

class TCatalogueCache {
public:
    // Reads the column rows of owner.stnm through the catalogue look-up.  A
    // table missing from the catalogue (reported by the look-up) leaves the
    // cache empty, and Build() then writes no statement.
    explicit TCatalogueCache(TBrelvanF& owner);
    bool Empty() const { return fColumns.empty(); }
    int ColumnCount() const { return int(fColumns.size()); }
    void Build();

    // The same insert with one placeholder per column, for a statement
    // prepared once and executed for many rows.
    QString PlaceholderInsert() const;
    // Binds one row to the prepared insert: values[k - 1] is what the caller
    // would put into sa[10 + k].  Each value is bound so that SQLite stores
    // what its literal would store: empty gives NULL, a text column the text
    // cut to its length, a numeric column that holds a plain decimal integer
    // that integer.  Returns false, binding nothing useful, when a value can
    // only be stored through its literal (any other numeric text, a text
    // holding NUL): the caller then builds that row's statement with Build().
    bool Bind(QSqlQuery& query, const QString* values) const;

private:
    struct TColumn {
        QString Name;
        QString Kt;
        int Ln = 0;
        bool Text = false;
    };
    TBrelvanF& fOwner;
    QString fTable;
    std::vector<TColumn> fColumns;
    QString fHead;   // " insert into T ( c1, …, cn ) values ( "
    QStringList fLiterals;
};
