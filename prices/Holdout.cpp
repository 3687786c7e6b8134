#include "prices/Holdout.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "prices/PriceTexts.h"
#include "prices/Settings.h"

#include <charconv>
#include <cmath>

std::int32_t HoldoutDaysFromText(const QString& text)
{
    if (TypedSetting(text).isEmpty())
        return 0;
    return TypedCount(text, MaxHoldoutDaysSetting, HoldoutDaysRefusedText(text));
}

std::int32_t MaxHoldoutDays(std::int32_t Idn, std::int32_t Iil, std::int32_t Iol)
{
    return std::int32_t(std::int64_t(Idn) - (std::int64_t(Iil) + Iol + 20));
}

void CheckHoldoutDays(std::int32_t days, std::int32_t Idn, std::int32_t Iil, std::int32_t Iol)
{
    if (days > 0 && days > MaxHoldoutDays(Idn, Iil, Iol))
        throw ERangeError(HoldoutTooLargeText(days, Idn, Idn - MaxHoldoutDays(Idn, Iil, Iol)));
}

std::optional<std::uint64_t> SeedFromText(const QString& text)
{
    if (TypedSetting(text).isEmpty())
        return std::nullopt;
    try {
        return std::uint64_t(std::int64_t(TypedWholeNumber(text)));
    } catch (const EConvertError&) {
        throw EConvertError(SeedRefusedText(text));
    }
}

TErrorFigures ErrorFigures(const std::vector<TDayPrediction>& days)
{
    TErrorFigures figures;
    figures.Days = int(days.size());
    if (days.empty())
        return figures;
    // Sums in extended precision: thousands of days of prices in the tens of
    // thousands lose nothing that shows in two decimals.
    long double model = 0, baseline = 0, modelSquares = 0, baselineSquares = 0;
    for (const TDayPrediction& day : days) {
        const long double modelError = static_cast<long double>(day.Predicted) - day.Actual;
        const long double baselineError = static_cast<long double>(day.Previous) - day.Actual;
        model += std::fabs(modelError);
        baseline += std::fabs(baselineError);
        modelSquares += modelError * modelError;
        baselineSquares += baselineError * baselineError;
        if (day.Actual != day.Previous) {
            ++figures.ChangedDays;
            const bool up = day.Actual > day.Previous;
            if (up ? day.Predicted > day.Previous : day.Predicted < day.Previous)
                ++figures.Hits;
        }
    }
    const long double n = figures.Days;
    figures.ModelMae = double(model / n);
    figures.BaselineMae = double(baseline / n);
    figures.ModelRmse = double(std::sqrt(modelSquares / n));
    figures.BaselineRmse = double(std::sqrt(baselineSquares / n));
    return figures;
}

double WrittenPrice(float price)
{
    const QByteArray text = FormatPrice(price).toLatin1();
    double value = 0;
    std::from_chars(text.constData(), text.constData() + text.size(), value);
    return value;
}
