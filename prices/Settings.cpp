#include "prices/Settings.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "prices/PriceTexts.h"

QString TypedSetting(const QString& text) { return text.normalized(QString::NormalizationForm_KC).trimmed(); }

std::int32_t TypedWholeNumber(const QString& text)
{
    try {
        return StrToInt(TypedSetting(text));
    } catch (const EConvertError&) {
        throw EConvertError(QStringLiteral("'%1' は整数ではありません").arg(text));
    }
}

std::int32_t TypedCount(const QString& text, std::int32_t most, const QString& refused)
{
    std::int32_t count = 0;
    try {
        count = TypedWholeNumber(text);
    } catch (const EConvertError&) {
        throw EConvertError(refused);
    }
    if (count < 0 || count > most)
        throw ERangeError(refused);
    return count;
}

std::int32_t TrainingCountFromText(const QString& text)
{
    return TypedCount(text, MaxTrainingCount, TrainingCountRefusedText(text));
}
