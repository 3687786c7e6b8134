// The texts of the database layer as plain functions: the statement pieces
// the builder joins, the catalogue's own statements, the rule that turns a
// catalogue file line into SQL values, and text literals.  Every blank is
// part of the text.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>

namespace SqlText {

// The catalogue tables, created by exactly these texts.
extern const QString CreateAaatbn;
extern const QString CreateAaatst;
extern const QString DropAaatbn;
extern const QString DropAaatst;

// "varchar" and "nchar" (exact, case-sensitive) mark a text column.
bool IsTextType(const QString& kt);

// A text wrapped in single quotes, every inner quote doubled: the value is
// always data, never SQL.  An unpaired surrogate becomes U+FFFD.
QString Quoted(const QString& text);

// A number as SQL reads it: an optional sign, digits with an optional
// fraction (or a point and digits) and an optional exponent; nothing else,
// no blanks.
bool IsNumber(const QString& text);

// One value as an SQL literal.  Id 1: a number stays as it is, anything else
// (empty included) gives NULL, so that no value is ever read as SQL.  Id 2: empty gives NULL; otherwise cut to its first `il` UTF-16
// code units (one fewer where the cut would part a surrogate pair) and quoted.  Any other id leaves the text unchanged.
QString Literal(const QString& st, int id, int il);
// The text a non-empty id 2 literal stands for: cut as Literal cuts it, every
// unpaired surrogate U+FFFD.  Bound as a value, it stores what the literal does.
QString LiteralText(const QString& st, int il);

// Look-up of a table in the table catalogue, and its column rows.
QString LookupTable(const QString& stnm);
QString ColumnRows(const QString& stid);
// Whether the file database holds a table (one row, field CNT).
QString TableCount(const QString& stnm);
// The not-found message of a look-up.
QString TableNotFound(const QString& stnm);

// One column of a create statement: a blank, the name, a blank, a blank, the
// type and, when there is a length, "(" length ") ".
QString CreateType(const QString& kt, const QString& stdb);
QString CreateColumn(const QString& name, const QString& typeText, const QString& lengthText);

// Whole statements from a column list (names in catalogue order).
QString Select(const QString& table, const QStringList& columns, const QString& swh);
// The columns of `table` and then those of `detail`, each named with its
// table: every row of `table` in its natural order, once, beside the last
// row of `detail` whose `key` equals its own (NULLs where there is none).
QString SelectWithDetail(const QString& table, const QStringList& columns, const QString& detail,
                         const QStringList& detailColumns, const QString& key, const QString& swh);
QString Insert(const QString& table, const QStringList& columns, const QStringList& literals);
QString Create(const QString& table, const QStringList& columnTexts);

// The predictions' updates of the price table.
// " YCLk = " followed by the price with "#0.00".
QString YclPiece(int k, float price);
QString YclPiece(int k, const QString& priceText);   // the same with the price already written
// " where cnt = N"
QString WhereCnt(std::int32_t row);
// " Update AYNK set " + sets + where
QString UpdateText(const QString& sets, const QString& where);

// A line of a catalogue file split into SQL values (rule of the catalogue
// rebuild): fields separated by "," only, nothing trimmed; an empty field is
// NULL; a field whose 1-based number is in textFields is quoted; the rest
// after the last comma is always quoted ('' when empty).
QStringList CatalogueValues(const QString& line, const QVector<int>& textFields);

// The catalogue files' fields that are written as text.
const QVector<int>& TblTextFields();       // tbl.csv: SKB, TNAM, TYO
const QVector<int>& TblstrcTextFields();   // tblstrc.csv: CNAM, KT, TYO

// The rebuild's inserts, from the values of slots 11 onward.
QString InsertAaatbn(const QStringList& v);   // six values
QString InsertAaatst(const QStringList& v);   // nine values

}  // namespace SqlText
