// The training run: every pass over the windows of normalised closes, each
// window's closes as inputs and the closes that follow it as targets.  The
// run is its opening (the passes, the seed, the start lines, the run's date),
// the passes themselves (TrainPasses) and its closing (the end lines, the
// run's results on the settings page and the hold-out's figures).
#include "prices/BrelvanPrices.h"
#include "base/Messages.h"
#include "base/Errors.h"
#include "prices/Holdout.h"
#include "prices/NetworkSteps.h"
#include "prices/PriceTexts.h"
#include "prices/Settings.h"
#include "prices/Windows.h"

void TBrelvanPrices::y03lean()
{
    std::optional<TTrainingRun> run = y03leanOpen();
    if (!run)
        return;
    run->PassesDone = TrainPasses(*Ann, Data, Iil, Iol, run->Windows, run->Passes);
    y03leanClose(*run);
}

std::optional<TTrainingRun> TBrelvanPrices::y03leanOpen()
{
    if (Idn == 0) {
        ShowMessage(TrainingNoDataText());
        return std::nullopt;
    }
    RequireStarted();
    Ilk = TrainingCountFromText(Setting(TSetting::LNN));
    // With a seed, every run starts from the same initial weights; without
    // one it goes on from the weights the network has.
    if (const std::optional<std::uint64_t> seed = SeedFromText(Setting(TSetting::RSD)))
        RestartFromSeed(*seed);

    TTrainingRun run;
    run.Start = Clock();
    run.Passes = Ilk;
    AddLogLine(TrainingStartLine(run.Start));
    AddLogLine(TrainingPassesLine(Ilk));
    SetSetting(TSetting::DT, TrainingStampText(Clock()));
    SetSetting(TSetting::TF, QString::number(Itf));

    // Every window reads elements 0 .. Idn - 3; check once that they exist,
    // so that the passes index without checks.  The rows held out are left
    // out as if the file ended before them.
    run.Windows = TrainingWindowCount(TrainingRows(Idn, Holdout.Days), Iil, Iol);
    if (run.Windows > 0 && std::size_t(Idn - 3) >= Data.size())
        throw ERangeError(QStringLiteral("学習する行 %1 がﾃﾞｰﾀの範囲外です").arg(Idn - 3));
    return run;
}

void TBrelvanPrices::y03leanClose(const TTrainingRun& run)
{
    if (run.PassesDone < run.Passes) {
        AddLogLine(TrainingStoppedLine(run.PassesDone, run.Passes));
        SetSetting(TSetting::LNN, QString::number(run.PassesDone));
    }
    const TDateTime tme = Clock();
    AddLogLine(TrainingEndLine(tme));
    const QString st = TrainingDurationText(run.Start, tme);
    AddLogLine(TrainingDurationLine(st));
    const QString st2 = FormatMse(Ann->GetMSE());
    AddLogLine(TrainingMseLine(st2));
    AddLogLine(MseExplanationLine());
    SetSetting(TSetting::LNTM, st);
    SetSetting(TSetting::MSE, st2);
    ReportHoldout();
}
