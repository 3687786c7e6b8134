// The catalogue's rows are data: every value that a statement is built from
// is checked first, so that no catalogue can change what a statement does.
// Table and column names are plain identifiers, type words are letters,
// ids, lengths and display widths whole numbers in a sane range.  A check
// gives an empty text for a sound value and otherwise the one message that
// refuses it, naming the catalogue table, its column and the table described.
#pragma once

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace CatalogueRows {

inline constexpr int MaxTableId = 1000000;     // TBID
inline constexpr int MaxLength = 10000;        // LN
inline constexpr int MaxDisplayWidth = 10000;  // DPW

// ASCII letters, digits and "_", not beginning with a digit.
bool IsPlainIdentifier(const QString& text);
// One word of ASCII letters, or two separated by one blank ("double precision").
bool IsTypeWord(const QString& text);
// Decimal digits with an optional leading minus, within [low, high]; no blanks.
std::optional<int> WholeNumber(const QString& text, int low, int high);

// The row of AAATBN that the look-up of `table` found.
QString TableRowFault(const QString& table, const QVariant& tnam, const QVariant& tbid);
// The column row at `position` (1-based, in CNT order) of `table` in AAATST.
// LN and DPW may be NULL.
QString ColumnRowFault(const QString& table, int position, const QVariant& cnam, const QVariant& kt,
                       const QVariant& ln, const QVariant& dpw);

// The program's own tables as the catalogue must describe them: every column
// the program relies on, in order, and for some the kind of value it holds.
enum class TColumnKind { Any, Text, Number };
struct TExpectedColumn {
    const char* Name;
    TColumnKind Kind;
};
struct TExpectedTable {
    const char* Name;
    std::vector<TExpectedColumn> Columns;
};
const std::vector<TExpectedTable>& ProgramTables();

// A column whose type word does not hold the kind of value the program writes.
QString KindFault(const QString& table, const QString& column, const QString& kt, TColumnKind kind);

}  // namespace CatalogueRows
