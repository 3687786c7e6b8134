#include "db/CatalogueRows.h"

#include "db/SqlText.h"

namespace CatalogueRows {

namespace {

bool IsAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A value as the message shows it: NULL for NULL, quoted and cut otherwise.
QString Shown(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    constexpr int kMostShown = 60;
    QString text = value.toString();
    if (text.size() > kMostShown)
        text = text.left(kMostShown) + QStringLiteral("…");
    return QStringLiteral("'") + text + QStringLiteral("'");
}

QString Refused(const char* catalogue, const char* column, const QVariant& value, const QString& subject,
                const QString& rule)
{
    return QStringLiteral("ﾃｰﾌﾞﾙ構造 %1 の %2 の値 %3 (%4) は使えません: %5")
        .arg(QLatin1String(catalogue), QLatin1String(column), Shown(value), subject, rule);
}

QString IdentifierRule() { return QStringLiteral("英字、数字、_ からなり数字で始まらない名前にしてください"); }
QString RangeRule(int low, int high) { return QStringLiteral("%1 から %2 までの整数にしてください").arg(low).arg(high); }

// NULL or a whole number in range.
bool NullOrWholeNumber(const QVariant& value, int low, int high)
{
    return value.isNull() || WholeNumber(value.toString(), low, high).has_value();
}

}  // namespace

bool IsPlainIdentifier(const QString& text)
{
    if (text.isEmpty() || IsAsciiDigit(text.front()))
        return false;
    for (const QChar c : text)
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'_')
            return false;
    return true;
}

bool IsTypeWord(const QString& text)
{
    const auto isWord = [](QStringView word) {
        if (word.isEmpty())
            return false;
        for (const QChar c : word)
            if (!IsAsciiLetter(c))
                return false;
        return true;
    };
    const qsizetype blank = text.indexOf(u' ');
    if (blank < 0)
        return isWord(text);
    return isWord(QStringView(text).left(blank)) && isWord(QStringView(text).mid(blank + 1));
}

std::optional<int> WholeNumber(const QString& text, int low, int high)
{
    const qsizetype start = text.startsWith(u'-') ? 1 : 0;
    constexpr qsizetype kMostDigits = 9;   // below 2^31 whatever the digits
    if (text.size() == start || text.size() - start > kMostDigits)
        return std::nullopt;
    long long value = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (!IsAsciiDigit(text.at(i)))
            return std::nullopt;
        value = value * 10 + (text.at(i).unicode() - u'0');
    }
    if (start == 1)
        value = -value;
    if (value < low || value > high)
        return std::nullopt;
    return int(value);
}

QString TableRowFault(const QString& table, const QVariant& tnam, const QVariant& tbid)
{
    const QString subject = QStringLiteral("ﾃｰﾌﾞﾙ %1").arg(table);
    if (!IsPlainIdentifier(tnam.toString()))
        return Refused("AAATBN", "TNAM", tnam, subject, IdentifierRule());
    if (!WholeNumber(tbid.toString(), 0, MaxTableId))
        return Refused("AAATBN", "TBID", tbid, subject, RangeRule(0, MaxTableId));
    return {};
}

QString ColumnRowFault(const QString& table, int position, const QVariant& cnam, const QVariant& kt,
                       const QVariant& ln, const QVariant& dpw)
{
    const QString name = cnam.toString();
    const QString subject = IsPlainIdentifier(name) ? QStringLiteral("%1 の列 %2").arg(table, name)
                                                    : QStringLiteral("%1 の %2 番目の列").arg(table).arg(position);
    if (!IsPlainIdentifier(name))
        return Refused("AAATST", "CNAM", cnam, subject, IdentifierRule());
    if (!IsTypeWord(kt.toString()))
        return Refused("AAATST", "KT", kt, subject,
                       QStringLiteral("型名は英字の一語か二語 (double precision など) にしてください"));
    if (!NullOrWholeNumber(ln, 0, MaxLength))
        return Refused("AAATST", "LN", ln, subject, RangeRule(0, MaxLength));
    if (!NullOrWholeNumber(dpw, 0, MaxDisplayWidth))
        return Refused("AAATST", "DPW", dpw, subject, RangeRule(0, MaxDisplayWidth));
    return {};
}

const std::vector<TExpectedTable>& ProgramTables()
{
    using K = TColumnKind;
    static const std::vector<TExpectedTable> tables{
        {"AAATBN", {{"CNT", K::Any}, {"BID", K::Any}, {"TBID", K::Any}, {"SKB", K::Any}, {"TNAM", K::Any},
                    {"TYO", K::Any}}},
        {"AAATST", {{"CNT", K::Any}, {"BID", K::Any}, {"TBID", K::Any}, {"CID", K::Any}, {"CNAM", K::Any},
                    {"KT", K::Any}, {"LN", K::Any}, {"DPW", K::Any}, {"TYO", K::Any}}},
        // The import writes the file's texts and the row number; the
        // predictions find rows by number and write plain decimals.
        {"AYNK", {{"CNT", K::Number}, {"DATE", K::Text}, {"TIME", K::Any}, {"CLOSE", K::Text}, {"HG", K::Text},
                  {"LG", K::Text}, {"OPEN", K::Text}, {"YCL1", K::Number}, {"YCL2", K::Number},
                  {"YCL3", K::Number}, {"YCL4", K::Number}, {"YCL5", K::Number}, {"YCL6", K::Number},
                  {"TYO", K::Any}}},
        // The run number is counted on with Max(cnt); date, training time
        // and remark are free texts.
        {"AYFS", {{"CNT", K::Number}, {"DT", K::Text}, {"TF", K::Any}, {"DN", K::Any}, {"LNN", K::Any},
                  {"LNR", K::Any}, {"LYIPN", K::Any}, {"LYM1N", K::Any}, {"LYM2N", K::Any}, {"LYOPN", K::Any},
                  {"LNTM", K::Text}, {"MSE", K::Any}, {"TYO", K::Text}}},
        // Beside each run: its hold-out days, its seed and its hold-out's
        // error figures, found by the run number.
        {"AYKS", {{"CNT", K::Number}, {"VLDN", K::Any}, {"RSD", K::Any}, {"VMAE", K::Any}, {"BMAE", K::Any},
                  {"VRMSE", K::Any}, {"BRMSE", K::Any}, {"VHIT", K::Any}}},
    };
    return tables;
}

QString KindFault(const QString& table, const QString& column, const QString& kt, TColumnKind kind)
{
    const bool text = SqlText::IsTextType(kt);
    if (kind == TColumnKind::Text && !text)
        return Refused("AAATST", "KT", kt, QStringLiteral("%1 の列 %2").arg(table, column),
                       QStringLiteral("この列は文字列の型 (varchar か nchar) にしてください"));
    if (kind == TColumnKind::Number && text)
        return Refused("AAATST", "KT", kt, QStringLiteral("%1 の列 %2").arg(table, column),
                       QStringLiteral("この列は数値の型 (varchar と nchar 以外) にしてください"));
    return {};
}

}  // namespace CatalogueRows
