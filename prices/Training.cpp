// The training run: every pass over the windows of normalised closes, each
// window's closes as inputs and the closes that follow it as targets.
#include "prices/BrelvanPrices.h"
#include "base/Messages.h"
#include "base/Errors.h"
#include "prices/Holdout.h"
#include "prices/PriceTexts.h"
#include "prices/Settings.h"
#include "prices/Windows.h"


void TBrelvanPrices::y03lean()
{
    if (Idn == 0) {
        ShowMessage(TrainingNoDataText());
        return;
    }
    RequireStarted();
    std::vector<float> ip(std::size_t(std::max(Iil, 0)));
    std::vector<float> op(std::size_t(std::max(Iol, 0)));
    Ilk = TrainingCountFromText(Setting(TSetting::LNN));
    // With a seed, every run starts from the same initial weights; without
    // one it goes on from the weights the network has.
    if (const std::optional<std::uint64_t> seed = SeedFromText(Setting(TSetting::RSD)))
        RestartFromSeed(*seed);

    const TDateTime tmb = Clock();
    AddLogLine(TrainingStartLine(tmb));
    AddLogLine(TrainingPassesLine(Ilk));
    SetSetting(TSetting::DT, TrainingStampText(Clock()));
    SetSetting(TSetting::TF, QString::number(Itf));

    // Every window reads elements 0 .. Idn - 3; check once that they exist,
    // then the loop indexes without checks and allocates nothing.  The rows
    // held out are left out as if the file ended before them.
    const std::int32_t windows = TrainingWindowCount(TrainingRows(Idn, Holdout.Days), Iil, Iol);
    if (windows > 0 && std::size_t(Idn - 3) >= Data.size())
        throw ERangeError(QStringLiteral("学習する行 %1 がﾃﾞｰﾀの範囲外です").arg(Idn - 3));
    const TData* data = Data.data();
    for (std::int32_t epoch = 1; epoch <= Ilk; ++epoch) {
        for (std::int32_t i = 0; i < windows; ++i) {
            for (std::int32_t j = 0; j < Iil; ++j)
                ip[std::size_t(j)] = data[i + j].EndV;
            for (std::int32_t k = 0; k < Iol; ++k)
                op[std::size_t(k)] = data[TrainingTarget(i, Iil, k)].EndV;
            Ann->Train(ip, op);
        }
    }

    const TDateTime tme = Clock();
    AddLogLine(TrainingEndLine(tme));
    const QString st = TrainingDurationText(tmb, tme);
    AddLogLine(TrainingDurationLine(st));
    const QString st2 = FormatMse(Ann->GetMSE());
    AddLogLine(TrainingMseLine(st2));
    AddLogLine(MseExplanationLine());
    SetSetting(TSetting::LNTM, st);
    SetSetting(TSetting::MSE, st2);
    ReportHoldout();
}
