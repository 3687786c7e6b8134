// The price table as a CSV file a spreadsheet on a Japanese desktop opens as
// it is: UTF-8 with a byte-order mark, CR LF line ends, the price grid's
// columns in its order under its Japanese titles, numbers with a point and
// no thousands separator.  Plain functions, so that each rule can be called alone.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

// How a column's values are written.
enum class TCellKind {
    Text,    // as stored
    Number,  // as stored (the grid aligns it right)
    Price,   // a number with "#0.00"; a stored price text without its thousands separators
};

// One column of the price grid: its field, its title (empty: the grid shows
// the field name) and how the export writes it.
struct TPriceColumn {
    QString Field;
    QString Title;
    TCellKind Kind;
};

// The price grid's columns, in the grid's order.
const std::vector<TPriceColumn>& PriceGridColumns();

// The heading the grid shows for a column: its title, or its field name.
QString ColumnHeading(const TPriceColumn& column);

// One value as the export writes it (before CSV quoting).  NULL is empty.
// A price column's number gets "#0.00" ("2960.80"), its text loses the
// thousands separators of a grouped number ("2,874.56" becomes "2874.56")
// and is otherwise kept; a text column's value is its text.
QString ExportCell(const QVariant& value, TCellKind kind);

// A field quoted as CSV needs it: a value holding a comma, a double quote, a
// CR or an LF is enclosed in double quotes, each inner quote doubled.
QString CsvField(const QString& text);

// The fields quoted and joined by commas, ending in CR LF, as UTF-8.
QByteArray CsvLine(const QStringList& fields);

// The UTF-8 byte-order mark that starts the file.
QByteArray Utf8Bom();
