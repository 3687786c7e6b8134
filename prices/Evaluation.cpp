// The training run's honest part: a run with a seed starts from the same
// initial weights every time, and a run with a hold-out is measured on the
// days it never saw, against the previous close.
#include "prices/BrelvanPrices.h"

#include "base/Errors.h"
#include "prices/Holdout.h"
#include "prices/PriceTexts.h"
#include "prices/Windows.h"

void TBrelvanPrices::RestartFromSeed(std::uint64_t seed)
{
    RequireStarted();
    const std::vector<std::int32_t> shape = Ann->NeuronCountInLayers();
    const float rate = Ann->LearningRate();
    const TRavoActivationFunc activation = Ann->ActivationFunc();
    SeedNextRavoAnn(seed);
    Ann = std::make_unique<TRavoAnn>(shape, rate, activation);
}

void TBrelvanPrices::ReportHoldout()
{
    static constexpr TSetting kFigures[] = {TSetting::VMAE, TSetting::BMAE, TSetting::VRMSE, TSetting::BRMSE,
                                            TSetting::VHIT};
    if (Holdout.Days <= 0) {   // no figures of an earlier run may be registered with this one
        for (const TSetting field : kFigures)
            SetSetting(field, QString());
        return;
    }
    RequireStarted();
    const std::int32_t first = HoldoutFirstRow(Idn, Holdout.Days);
    if (SameDayWindow(first, Iil) < 0 || std::size_t(Idn) >= Data.size())
        throw ERangeError(QStringLiteral("検証する行 %1 から %2 がﾃﾞｰﾀの範囲外です").arg(first).arg(Idn));

    std::vector<TDayPrediction> days;
    days.reserve(std::size_t(Holdout.Days));
    std::vector<float> ip(static_cast<std::size_t>(Iil));
    std::vector<float> op;
    for (std::int32_t t = first; t <= Idn; ++t) {
        const std::int32_t i = SameDayWindow(t, Iil);
        for (std::int32_t j = 0; j < Iil; ++j)
            ip[std::size_t(j)] = Data[std::size_t(i + j)].EndV;
        Ann->Run(ip, op);
        if (op.empty())
            throw ERangeError(QStringLiteral("ネットワークに出力がありません"));
        days.push_back({Data[std::size_t(t)].Close, Data[std::size_t(t) - 1].Close,
                        WrittenPrice(renormalize(op[0]))});
    }

    const TErrorFigures figures = ErrorFigures(days);
    AddLogLine(HoldoutPeriodLine(Holdout.FirstDate, Holdout.LastDate, Holdout.Days));
    AddLogLine(HoldoutMaeLine(figures.ModelMae, figures.BaselineMae));
    AddLogLine(HoldoutRmseLine(figures.ModelRmse, figures.BaselineRmse));
    AddLogLine(HoldoutHitLine(figures.Hits, figures.ChangedDays));
    const QString texts[] = {FormatPrice(figures.ModelMae), FormatPrice(figures.BaselineMae),
                             FormatPrice(figures.ModelRmse), FormatPrice(figures.BaselineRmse),
                             ShareText(figures.Hits, figures.ChangedDays)};
    for (std::size_t k = 0; k < std::size(kFigures); ++k)
        SetSetting(kFigures[k], texts[k]);
}
