#include "db/SqlText.h"

#include "base/Convert.h"

namespace SqlText {

const QString CreateAaatbn = QStringLiteral(
    " create table AAATBN ( CNT Integer, BID Integer,  TBID Integer, SKB nchar(4), TNAM nchar(14), TYO nchar(40) ); ");
const QString CreateAaatst = QStringLiteral(
    " create table AAATST ( CNT Integer,  BID Integer, TBID Integer, CID Integer, CNAM nchar(14),  KT nchar(10), LN Integer , DPW Integer, TYO nchar(40) ); ");
const QString DropAaatbn = QStringLiteral(" drop table if exists AAATBN  ");
const QString DropAaatst = QStringLiteral(" drop table if exists AAATST ");

bool IsTextType(const QString& kt)
{
    return kt == QLatin1String("varchar") || kt == QLatin1String("nchar");
}

namespace {
// SQLite reads a high surrogate together with the code unit after it, so an
// unpaired one would swallow the closing quote of a literal: each becomes
// U+FFFD (a text that holds one is not valid Unicode anyway).
void ReplaceLoneSurrogates(QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
}
}  // namespace

QString Quoted(const QString& text)
{
    QString inner = text;
    ReplaceLoneSurrogates(inner);
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

namespace {
// The first il UTF-16 code units of st, one fewer where the cut would part a
// surrogate pair: such a character is dropped whole.
QString CutText(const QString& st, int il)
{
    if (st.length() <= il)
        return st;
    qsizetype cut = qMax(il, 0);
    if (cut > 0 && st.at(cut - 1).isHighSurrogate() && st.at(cut).isLowSurrogate())
        --cut;
    return st.left(cut);
}
}  // namespace

bool IsNumber(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < n && text.at(i) >= u'0' && text.at(i) <= u'9')
            ++i;
        return i - start;
    };
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < n && text.at(i) == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        ++i;
        if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

QString Literal(const QString& st, int id, int il)
{
    switch (id) {
    case 1:
        return IsNumber(st) ? st : QStringLiteral("NULL");
    case 2:
        return st.isEmpty() ? QStringLiteral("NULL") : Quoted(CutText(st, il));
    default:
        return st;
    }
}

QString LiteralText(const QString& st, int il)
{
    QString text = CutText(st, il);
    ReplaceLoneSurrogates(text);
    return text;
}

QString LookupTable(const QString& stnm)
{
    return QStringLiteral(" select * from AAATBN ") + QStringLiteral(" where TNAM = ") + Quoted(stnm)
        + QStringLiteral(" ");
}

QString ColumnRows(const QString& stid)
{
    return QStringLiteral(" select * from AAATST ") + QStringLiteral(" where TBID = ") + stid
        + QStringLiteral(" order by CNT ");
}

QString TableCount(const QString& stnm)
{
    return QStringLiteral("select COUNT(*) as CNT from sqlite_master  where type = 'table' and name = ")
        + Quoted(stnm) + QStringLiteral(" ");
}

QString TableNotFound(const QString& stnm)
{
    return stnm + QStringLiteral(" ﾃｰﾌﾞﾙ名が見つかりません");
}

QString CreateType(const QString& kt, const QString& stdb)
{
    if (IsTextType(kt) && stdb == QLatin1String("csq"))
        return QStringLiteral("nchar ");
    return kt;
}

QString CreateColumn(const QString& name, const QString& typeText, const QString& lengthText)
{
    QString text = QStringLiteral(" ") + name + QStringLiteral(" ") + QStringLiteral(" ") + typeText;
    if (!lengthText.isEmpty())
        text += QStringLiteral("(") + lengthText + QStringLiteral(") ");
    return text;
}

QString Select(const QString& table, const QStringList& columns, const QString& swh)
{
    return QStringLiteral(" select ") + columns.join(QStringLiteral(", ")) + QStringLiteral(" from ") + table
        + swh;
}

QString SelectWithDetail(const QString& table, const QStringList& columns, const QString& detail,
                         const QStringList& detailColumns, const QString& key, const QString& swh)
{
    QStringList names;
    for (const QString& column : columns)
        names << table + QLatin1Char('.') + column;
    for (const QString& column : detailColumns)
        names << detail + QLatin1Char('.') + column;
    return QStringLiteral(" select ") + names.join(QStringLiteral(", ")) + QStringLiteral(" from ") + table
        + QStringLiteral(" left join ") + detail + QStringLiteral(" on ") + detail
        + QStringLiteral(".rowid = ( select max(d.rowid) from ") + detail + QStringLiteral(" d where d.") + key
        + QStringLiteral(" = ") + table + QLatin1Char('.') + key + QStringLiteral(" )") + swh;
}

QString Insert(const QString& table, const QStringList& columns, const QStringList& literals)
{
    return QStringLiteral(" insert into ") + table + QStringLiteral(" ( ") + columns.join(QStringLiteral(", "))
        + QStringLiteral(" ) values ( ") + literals.join(QStringLiteral(", ")) + QStringLiteral(" ) ");
}

QString Create(const QString& table, const QStringList& columnTexts)
{
    return QStringLiteral(" create table if not exists ") + table + QStringLiteral("(")
        + columnTexts.join(QStringLiteral(", ")) + QStringLiteral(") ");
}

QStringList CatalogueValues(const QString& line, const QVector<int>& textFields)
{
    QStringList values;
    QString rest = line;
    int field = 1;
    for (int comma = rest.indexOf(QLatin1Char(',')); comma >= 0; comma = rest.indexOf(QLatin1Char(','))) {
        const QString text = rest.left(comma);
        if (text.isEmpty())
            values << QStringLiteral("NULL");
        else if (textFields.contains(field))
            values << Quoted(text);
        else
            values << text;
        rest.remove(0, comma + 1);
        ++field;
    }
    values << Quoted(rest);
    return values;
}

const QVector<int>& TblTextFields()
{
    static const QVector<int> fields{4, 5, 6};
    return fields;
}

const QVector<int>& TblstrcTextFields()
{
    static const QVector<int> fields{5, 6, 9};
    return fields;
}

namespace {
// The first n values joined by ","; missing values are empty (the statement
// then fails, as a short line must).
QString FirstValues(const QStringList& v, int n)
{
    QStringList taken = v.mid(0, n);
    while (taken.size() < n)
        taken << QString();
    return taken.join(QLatin1Char(','));
}
}  // namespace

QString InsertAaatbn(const QStringList& v)
{
    return QStringLiteral(" Insert into AAATBN (CNT, BID, TBID, SKB, TNAM, TYO) Values  (") + FirstValues(v, 6)
        + QStringLiteral(")");
}

QString InsertAaatst(const QStringList& v)
{
    return QStringLiteral(" Insert into AAATST (CNT, BID, TBID, CID, CNAM, KT, LN, DPW, TYO)  Values  (")
        + FirstValues(v, 9) + QStringLiteral(")");
}

QString YclPiece(int k, float price) { return YclPiece(k, FormatPrice(price)); }
QString YclPiece(int k, const QString& priceText)
{
    return QStringLiteral(" YCL") + QString::number(k) + QStringLiteral(" = ") + priceText;
}
QString WhereCnt(std::int32_t row) { return QStringLiteral(" where cnt = ") + QString::number(row); }
QString UpdateText(const QString& sets, const QString& where)
{
    return QStringLiteral(" Update AYNK set ") + sets + where;
}

}  // namespace SqlText
