// The price file: its bytes decoded to text, the text cut into lines and the
// lines into fields, and the whole file read and checked before the import
// changes anything.  Plain functions, so that each rule can be called alone.
#pragma once

#include "base/Convert.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <vector>

// The name of the price file, looked for in the current directory.
inline constexpr char kPriceFileName[] = "tarvok_stock_average_daily_jp.csv";

// The text of the file: a byte-order mark for UTF-8, UTF-16 LE or UTF-16 BE
// is honoured (and dropped); without one the bytes are Shift-JIS (code page
// 932), the encoding of a Japanese system.
QString DecodePriceText(const QByteArray& bytes);

// Lines ending in CR LF, LF or CR.  A line break at the very end adds no
// empty line; empty lines inside the text stay.
QStringList SplitPriceLines(const QString& text);

// Fields of one line, split at "," only: blanks and control characters belong
// to the fields.  A field that begins with a double quote runs to its closing
// quote and may hold commas; "" inside it stands for one quote; the quotes are
// removed (text after the closing quote up to the next comma is kept with the
// field).  A comma at the end adds an empty last field; an empty line has no
// field.  The fields replace the contents of `fields`.
void SplitPriceFields(QStringView line, QStringList& fields);
QStringList SplitPriceFields(QStringView line);

// A close: every "," removed, the rest read as a decimal number with a point
// (EConvertError "'…' は浮動小数点数ではありません" naming the text without commas).
float ReadClose(QStringView field);

// The close of a field ReadClose has accepted, to the nearest double: the
// price as the file writes it, for figures in price units.
double ClosePrice(QStringView field);

// A date year/month/day with "/" (EConvertError "'…' は日付ではありません").
TDateTime ReadDate(QStringView field);

// The normalisation range from the smallest and largest close: the upper end
// rounded up, the lower end truncated toward zero, both to multiples of 10.
struct TPriceRange {
    std::int32_t IrL = 0;
    std::int32_t IrH = 0;
};
TPriceRange PriceRangeOf(float lowest, float highest);   // ERangeError when it overflows 32 bits

// The smallest and largest close in file order, a close of 0 meaning that no
// smallest has been seen yet: the next close starts it again.
struct TCloseExtremes {
    float Lowest = 0;
    float Highest = 0;
    void Add(float close)
    {
        if (Lowest == 0)
            Lowest = close;
        if (close > Highest)
            Highest = close;
        if (close < Lowest)
            Lowest = close;
    }
};
// The range of the extremes; EConvertError (EmptyRangeMessage) when IrH = IrL.
TPriceRange CheckedPriceRange(const TCloseExtremes& extremes);

// (s − IrL) / (IrH − IrL) and its inverse, in extended precision, rounded to
// float.  An empty range (IrH = IrL, only before the first import) normalises to 0.
float NormalizePrice(float s, std::int32_t IrL, std::int32_t IrH);
float RenormalizePrice(float s, std::int32_t IrL, std::int32_t IrH);

// One data line as the import needs it.
struct TPriceRow {
    QString Date;    // field 0 as written
    QString Close;   // field 1 as written, commas kept
    QString Open;    // field 2
    QString High;    // field 3
    QString Low;     // field 4
    TDateTime Day = 0;
    float CloseValue = 0;
};

// The whole file, read and checked.
struct TPriceFile {
    int LineCount = 0;                 // lines of the file, header and trailer included
    std::vector<TPriceRow> Rows;       // the data lines (all but the first and the last)
    float Lowest = 0;                  // the running minimum and maximum of the closes
    float Highest = 0;
    TPriceRange Range;
};

// One data line read in place: its fields are views into the text it was
// read from (or, for a field whose quotes had to be taken out, into the
// TPriceText's own copy).  Valid while the TPriceText that holds it lives.
struct TPriceLine {
    QStringView Date;
    QStringView Close;
    QStringView Open;
    QStringView High;
    QStringView Low;
    TDateTime Day = 0;
    float CloseValue = 0;
};

// The whole file, read and checked in place: no text of its own per field.
// Its copies share the texts, so a copy's rows stay valid with it.
struct TPriceText {
    QString Text;                      // the decoded text the rows view
    std::deque<QString> Unquoted;      // fields that are not a stretch of Text
    int LineCount = 0;
    std::vector<TPriceLine> Rows;
    float Lowest = 0;
    float Highest = 0;
    TPriceRange Range;
};

// The line number a message names for the data line at `index` (0-based in
// the list of lines): the header is line 1.
QString LineSuffix(int index);

// The normalisation range of the first `rows` data rows alone, checked as
// the whole file's is.
TPriceRange LeadingRange(const TPriceText& file, std::int32_t rows);

// Reads every data line and checks it: no NUL character, at least five
// fields, a date in field 0 and a close in field 1.  A line that fails raises the conversion's own
// error with " (N行目)" appended; a file without data lines and closes whose
// range is empty (IrH = IrL) raise EConvertError.  Nothing is returned unless
// the whole file is sound.
TPriceFile ParsePriceLines(const QStringList& lines);
// The same for the whole decoded text, parted into lines as SplitPriceLines
// parts it, without a copy of each line.
TPriceFile ParsePriceText(const QString& text);
// The same read in place, for the import: the same checks and messages.
TPriceText ParsePriceTextInPlace(const QString& text);

// The messages of the file checks.
QString NoDataLinesMessage();
QString EmptyRangeMessage(std::int32_t bound);
QString TooFewFieldsMessage(int fieldCount, int index);
QString NulCharacterMessage(int index);
