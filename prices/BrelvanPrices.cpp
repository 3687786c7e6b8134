#include "prices/BrelvanPrices.h"

#include "base/Errors.h"
#include "base/Messages.h"
#include "prices/Holdout.h"
#include "prices/PriceTexts.h"
#include "prices/Settings.h"

void TBrelvanPrices::RequireStarted() const
{
    if (!Ann)
        throw EBrelvanError(NotStartedText());
}

void TBrelvanPrices::CheckTypedSettings()
{
    const std::int32_t passes = TrainingCountFromText(Setting(TSetting::LNN));
    const std::int32_t holdout = HoldoutDaysFromText(Setting(TSetting::VLDN));
    const std::optional<std::uint64_t> seed = SeedFromText(Setting(TSetting::RSD));
    const std::int32_t inputs = LayerSizeFromText(Setting(TSetting::LYIPN), LayerName(0));
    const std::int32_t outputs = LayerSizeFromText(Setting(TSetting::LYOPN), LayerName(kLayerCount - 1));

    SetSetting(TSetting::LNN, QString::number(passes));
    if (!TypedSetting(Setting(TSetting::VLDN)).isEmpty())
        SetSetting(TSetting::VLDN, QString::number(holdout));
    if (seed)
        SetSetting(TSetting::RSD, QString::number(TypedWholeNumber(Setting(TSetting::RSD))));
    SetSetting(TSetting::LYIPN, QString::number(inputs));
    SetSetting(TSetting::LYOPN, QString::number(outputs));
}

void TBrelvanPrices::NoteOutputsBeyondColumns(std::int32_t outputs) const
{
    if (outputs > kPredictionColumns)
        ShowMessage(OutputsBeyondColumnsText(outputs));
}
