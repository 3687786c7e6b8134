#include "prices/PriceFile.h"

#include "base/Errors.h"
#include "base/ShiftJis.h"

#include <QDate>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int kFieldsNeeded = 5;

bool StartsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < qsizetype(mark.size()))
        return false;
    int i = 0;
    for (unsigned char c : mark)
        if (static_cast<unsigned char>(bytes[i++]) != c)
            return false;
    return true;
}

QString Decode(const QByteArray& bytes, const char* encoding, qsizetype skip)
{
    QStringDecoder decoder(encoding);
    return decoder.decode(QByteArrayView(bytes).sliced(skip));
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Digits from `pos` while they last, at most `most`; -1 when there are none.
int ReadNumber(QStringView s, qsizetype& pos, int most)
{
    int value = 0;
    int digits = 0;
    while (pos < s.size() && digits < most && IsDigit(s[pos])) {
        value = value * 10 + (s[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return digits == 0 ? -1 : value;
}

// The common spelling of a date, read without a pattern match; nullopt-like
// false for anything else, which the general conversion then reads or rejects.
bool QuickDate(QStringView s, TDateTime& day)
{
    qsizetype pos = 0;
    if (s.size() < 8 || s.size() > 10)
        return false;
    const int year = ReadNumber(s, pos, 4);
    if (pos != 4 || pos >= s.size() || s[pos] != u'/')
        return false;
    const qsizetype monthStart = ++pos;
    const int month = ReadNumber(s, pos, 2);
    if (month < 0 || pos >= s.size() || s[pos] != u'/' || pos - monthStart > 2)
        return false;
    ++pos;
    const int dayOfMonth = ReadNumber(s, pos, 2);
    if (dayOfMonth < 0 || pos != s.size())
        return false;
    const QDate date(year, month, dayOfMonth);
    if (!date.isValid())
        return false;
    day = static_cast<TDateTime>(QDate(1899, 12, 30).daysTo(date));
    return true;
}

// Plain decimals "123" or "123.45" (optional sign) read at once; anything
// else goes through the general conversion, which reads exponents and names
// what it rejects.
bool QuickFloat(QStringView s, float& value)
{
    if (s.isEmpty() || s.size() > 40)
        return false;
    char buffer[40];
    qsizetype i = 0;
    int digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (IsDigit(c))
            ++digits;
        else if (c == u'.' && !point)
            point = true;
        else if (!((c == u'-' || c == u'+') && i == 0))
            return false;
        buffer[i] = static_cast<char>(c.unicode());
    }
    double d = 0;
    if (digits == 0 || !ReadDecimal(std::string_view(buffer, std::size_t(i)), d)
        || std::fabs(d) > std::numeric_limits<float>::max())
        return false;
    value = static_cast<float>(d);
    return true;
}

template <class Read>
auto WithLine(int index, Read read)
{
    try {
        return read();
    } catch (const EConvertError& error) {
        throw EConvertError(error.Message() + LineSuffix(index));
    }
}

}  // namespace

QString DecodePriceText(const QByteArray& bytes)
{
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return Decode(bytes, "UTF-8", 3);
    if (StartsWith(bytes, {0xFF, 0xFE}))
        return Decode(bytes, "UTF-16LE", 2);
    if (StartsWith(bytes, {0xFE, 0xFF}))
        return Decode(bytes, "UTF-16BE", 2);
    return ShiftJis::Decode(bytes);
}

QStringList SplitPriceLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    const QChar* data = text.constData();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = data[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && data[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

namespace {

// Calls field(view, assembled) for each field of a line as SplitPriceFields
// parts it.  A field that is one stretch of the line is a view into it; one
// whose quotes had to be taken out is assembled in `scratch` (assembled is
// then true, and the view holds only until the next field).
template <class Field>
void ForEachPriceField(QStringView line, QString& scratch, Field field)
{
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (pos < n) {
        QStringView piece;          // the field while it is one stretch
        bool assembled = false;     // the field is in scratch instead
        if (line[pos] == u'"') {
            // Quoted: runs to the closing quote; "" stands for one quote.
            ++pos;
            for (;;) {
                const qsizetype quote = line.indexOf(u'"', pos);
                const qsizetype end = quote < 0 ? n : quote;
                const QStringView part = line.sliced(pos, end - pos);
                if (assembled)
                    scratch += part;
                else
                    piece = part;
                pos = quote < 0 ? n : quote + 1;
                if (quote >= 0 && pos < n && line[pos] == u'"') {
                    if (!assembled) {
                        scratch = piece.toString();
                        assembled = true;
                    }
                    scratch += u'"';
                    ++pos;
                    continue;
                }
                break;
            }
        }
        const qsizetype comma = line.indexOf(u',', pos);
        const qsizetype end = comma < 0 ? n : comma;
        if (end > pos) {
            const QStringView rest = line.sliced(pos, end - pos);
            if (assembled) {
                scratch += rest;
            } else if (piece.isNull()) {
                piece = rest;
            } else {   // text after the closing quote joins the quoted text
                scratch = piece.toString();
                scratch += rest;
                assembled = true;
            }
        }
        field(assembled ? QStringView(scratch) : piece, assembled);
        pos = end;
        if (comma >= 0) {
            ++pos;
            if (pos == n)
                field(QStringView(), false);
        }
    }
}

}  // namespace

void SplitPriceFields(QStringView line, QStringList& fields)
{
    fields.clear();
    QString scratch;
    ForEachPriceField(line, scratch, [&](QStringView field, bool) { fields.append(field.toString()); });
}

QStringList SplitPriceFields(QStringView line)
{
    QStringList fields;
    SplitPriceFields(line, fields);
    return fields;
}

float ReadClose(QStringView field)
{
    // The common case without a copy: the commas dropped into a local buffer.
    if (field.size() <= 40) {
        char16_t buffer[40];
        qsizetype n = 0;
        for (QChar c : field)
            if (c != u',')
                buffer[n++] = c.unicode();
        float value = 0;
        if (QuickFloat(QStringView(buffer, n), value))
            return value;
    }
    QString digits = field.toString();
    if (digits.contains(u','))
        digits.remove(u',');
    float value = 0;
    if (QuickFloat(digits, value))
        return value;
    return StrToFloat(digits);
}

double ClosePrice(QStringView field)
{
    std::string digits;
    digits.reserve(std::size_t(field.size()));
    for (QChar c : field) {
        if (c.unicode() >= 0x80)
            return ReadClose(field);   // no text ReadClose accepts: its error
        if (c != u',')
            digits += char(c.unicode());
    }
    const char* begin = digits.data();
    if (!digits.empty() && digits.front() == '+')   // from_chars takes no plus sign
        ++begin;
    double value = 0;
    const auto result = std::from_chars(begin, digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
        return ReadClose(field);   // not the text ReadClose accepted: its value and its error
    return value;
}

TDateTime ReadDate(QStringView field)
{
    TDateTime day = 0;
    if (QuickDate(field, day))
        return day;
    return StrToDate(field.toString());
}

TPriceRange PriceRangeOf(float lowest, float highest)
{
    const long double upper = std::ceil(static_cast<long double>(highest) / 10) * 10;
    const long double lower = std::trunc(static_cast<long double>(lowest) / 10) * 10;
    constexpr long double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr long double kMax = std::numeric_limits<std::int32_t>::max();
    if (upper < kMin || upper > kMax || lower < kMin || lower > kMax
        || upper - lower > kMax)
        throw ERangeError(QStringLiteral("終値の範囲が大きすぎて正規化できません"));
    return {static_cast<std::int32_t>(lower), static_cast<std::int32_t>(upper)};
}

TPriceRange CheckedPriceRange(const TCloseExtremes& extremes)
{
    const TPriceRange range = PriceRangeOf(extremes.Lowest, extremes.Highest);
    if (range.IrH == range.IrL)
        throw EConvertError(EmptyRangeMessage(range.IrH));
    return range;
}

TPriceRange LeadingRange(const TPriceText& file, std::int32_t rows)
{
    TCloseExtremes extremes;
    const std::size_t n = std::min(file.Rows.size(), std::size_t(std::max(rows, 0)));
    for (std::size_t i = 0; i < n; ++i)
        extremes.Add(file.Rows[i].CloseValue);
    return CheckedPriceRange(extremes);
}

float NormalizePrice(float s, std::int32_t IrL, std::int32_t IrH)
{
    const long double width = static_cast<long double>(std::int64_t(IrH) - IrL);
    if (width == 0)   // no range yet (before the first import): nothing to scale by
        return 0;
    return static_cast<float>((static_cast<long double>(s) - IrL) / width);
}

float RenormalizePrice(float s, std::int32_t IrL, std::int32_t IrH)
{
    const long double width = static_cast<long double>(std::int64_t(IrH) - IrL);
    return static_cast<float>(width * static_cast<long double>(s) + IrL);
}

QString LineSuffix(int index) { return QStringLiteral(" (%1行目)").arg(index + 1); }

QString NoDataLinesMessage()
{
    return QStringLiteral("CSV ﾌｧｲﾙにﾃﾞｰﾀ行がありません (見出しと末尾の行のほかに行が必要です)");
}

QString EmptyRangeMessage(std::int32_t bound)
{
    return QStringLiteral("終値の範囲が空のため正規化できません (下限 = 上限 = %1)").arg(bound);
}

QString TooFewFieldsMessage(int fieldCount, int index)
{
    return QStringLiteral("項目が %1 個しかありません (%2 個必要です)").arg(fieldCount).arg(kFieldsNeeded)
         + LineSuffix(index);
}

QString NulCharacterMessage(int index)
{
    return QStringLiteral("NUL 文字 (コード 0) を含む行は読み込めません") + LineSuffix(index);
}

namespace {

// The fields of one data line the import reads: views into the line, or into
// `unquoted` for a field whose quotes had to be taken out.  Returns how many
// fields the line has.
int ReadLineFields(QStringView line, QString& scratch, std::deque<QString>& unquoted, TPriceLine& row)
{
    QStringView* const wanted[kFieldsNeeded] = {&row.Date, &row.Close, &row.Open, &row.High, &row.Low};
    int count = 0;
    ForEachPriceField(line, scratch, [&](QStringView field, bool assembled) {
        if (count < kFieldsNeeded) {
            if (assembled) {
                unquoted.push_back(scratch);
                field = unquoted.back();
            }
            *wanted[count] = field;
        }
        ++count;
    });
    return count;
}

// The check and the reading of every data line, over the lines of the file.
TPriceText ParseLineViews(const std::vector<QStringView>& lines)
{
    TPriceText file;
    file.LineCount = int(lines.size());
    if (file.LineCount < 3)
        throw EConvertError(NoDataLinesMessage());

    file.Rows.reserve(std::size_t(file.LineCount - 2));
    QString scratch;
    TCloseExtremes extremes;
    for (int i = 1; i <= file.LineCount - 2; ++i) {
        const QStringView line = lines[std::size_t(i)];
        // A NUL character ends an SQL text early: such a line cannot be stored.
        if (line.contains(QChar(u'\0')))
            throw EConvertError(NulCharacterMessage(i));
        TPriceLine& row = file.Rows.emplace_back();
        const int fields = ReadLineFields(line, scratch, file.Unquoted, row);
        if (fields < kFieldsNeeded)
            throw ERangeError(TooFewFieldsMessage(fields, i));
        row.Day = WithLine(i, [&] { return ReadDate(row.Date); });
        row.CloseValue = WithLine(i, [&] { return ReadClose(row.Close); });
        extremes.Add(row.CloseValue);
    }
    file.Lowest = extremes.Lowest;
    file.Highest = extremes.Highest;
    file.Range = CheckedPriceRange(extremes);
    return file;
}

// The rows with texts of their own.
TPriceFile OwnTexts(const TPriceText& text)
{
    TPriceFile file;
    file.LineCount = text.LineCount;
    file.Lowest = text.Lowest;
    file.Highest = text.Highest;
    file.Range = text.Range;
    file.Rows.reserve(text.Rows.size());
    for (const TPriceLine& line : text.Rows) {
        TPriceRow& row = file.Rows.emplace_back();
        row.Date = line.Date.toString();
        row.Close = line.Close.toString();
        row.Open = line.Open.toString();
        row.High = line.High.toString();
        row.Low = line.Low.toString();
        row.Day = line.Day;
        row.CloseValue = line.CloseValue;
    }
    return file;
}

// The lines as SplitPriceLines parts them, viewed in place.
std::vector<QStringView> LineViews(const QString& text)
{
    std::vector<QStringView> lines;
    const qsizetype n = text.size();
    const QChar* data = text.constData();
    lines.reserve(std::size_t(text.count(u'\n') + 1));
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = data[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.emplace_back(data + start, i - start);
        if (c == u'\r' && i + 1 < n && data[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.emplace_back(data + start, n - start);
    return lines;
}

}  // namespace

TPriceFile ParsePriceLines(const QStringList& lines)
{
    std::vector<QStringView> views;
    views.reserve(std::size_t(lines.size()));
    for (const QString& line : lines)
        views.emplace_back(line);
    return OwnTexts(ParseLineViews(views));
}

TPriceFile ParsePriceText(const QString& text) { return OwnTexts(ParsePriceTextInPlace(text)); }

TPriceText ParsePriceTextInPlace(const QString& text)
{
    TPriceText file = ParseLineViews(LineViews(text));
    file.Text = text;
    return file;
}
