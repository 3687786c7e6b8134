#include "prices/PriceExport.h"

#include "base/Convert.h"

#include <QRegularExpression>

const std::vector<TPriceColumn>& PriceGridColumns()
{
    static const std::vector<TPriceColumn> columns = {
        {QStringLiteral("DATE"), QStringLiteral("日付"), TCellKind::Text},
        {QStringLiteral("CLOSE"), QStringLiteral("終値"), TCellKind::Price},
        {QStringLiteral("YCL1"), QStringLiteral("予測1"), TCellKind::Price},
        {QStringLiteral("YCL2"), QStringLiteral("予測2"), TCellKind::Price},
        {QStringLiteral("OPEN"), QStringLiteral("始値"), TCellKind::Price},
        {QStringLiteral("HG"), QStringLiteral("高値"), TCellKind::Price},
        {QStringLiteral("LG"), QStringLiteral("安値"), TCellKind::Price},
        {QStringLiteral("YCL3"), QStringLiteral("予測3"), TCellKind::Price},
        {QStringLiteral("YCL4"), QStringLiteral("予測4"), TCellKind::Price},
        {QStringLiteral("YCL5"), QStringLiteral("予測5"), TCellKind::Price},
        {QStringLiteral("YCL6"), QStringLiteral("予測6"), TCellKind::Price},
        {QStringLiteral("TYO"), QStringLiteral("摘要"), TCellKind::Text},
        {QStringLiteral("CNT"), QString(), TCellKind::Number},
        {QStringLiteral("TIME"), QStringLiteral("時間"), TCellKind::Text},
    };
    return columns;
}

QString ColumnHeading(const TPriceColumn& column) { return column.Title.isEmpty() ? column.Field : column.Title; }

QString ExportCell(const QVariant& value, TCellKind kind)
{
    if (value.isNull())
        return QString();
    if (kind == TCellKind::Price) {
        switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
            return FormatPrice(value.toDouble());
        default:
            break;
        }
        // Digits in groups of three with commas, an optional sign and fraction.
        static const QRegularExpression grouped(QStringLiteral("^[+-]?[0-9]{1,3}(,[0-9]{3})+(\\.[0-9]+)?$"));
        const QString text = value.toString();
        if (grouped.match(text).hasMatch())
            return QString(text).remove(QLatin1Char(','));
        return text;
    }
    return value.toString();
}

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray CsvLine(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields)
        quoted << CsvField(field);
    return (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray Utf8Bom() { return QByteArray("\xEF\xBB\xBF", 3); }
