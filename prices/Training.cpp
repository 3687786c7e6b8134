// The command "読込学習" and the training run: the import, then every pass
// over the windows of normalised closes, each window's closes as inputs and
// the closes that follow it as targets.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "app/Errors.h"
#include "prices/PriceTexts.h"
#include "prices/Windows.h"

#include <QLineEdit>

void TBrelvanF::a04RdBClick()
{
    Guarded([this] {
        TWaitCursor wait;
        RequireStarted();
        y02rdDat();   // an error here ends the command: no training on a failed import
        y03lean();
    });
}

void TBrelvanF::y03lean()
{
    if (Idn == 0) {
        ShowMessage(TrainingNoDataText());
        return;
    }
    RequireStarted();
    std::vector<float> ip(std::size_t(std::max(Iil, 0)));
    std::vector<float> op(std::size_t(std::max(Iol, 0)));
    Ilk = StrToInt(c15lnnE->text());

    const TDateTime tmb = Clock();
    a02mM->Add(TrainingStartLine(tmb));
    a02mM->Add(TrainingPassesLine(Ilk));
    c12dtE->setText(TrainingStampText(Clock()));
    c13tfE->setText(QString::number(Itf));

    // Every window reads elements 0 .. Idn - 3; check once that they exist,
    // then the loop indexes without checks and allocates nothing.
    const std::int32_t windows = TrainingWindowCount(Idn, Iil, Iol);
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
    a02mM->Add(TrainingEndLine(tme));
    const QString st = TrainingDurationText(tmb, tme);
    a02mM->Add(TrainingDurationLine(st));
    const QString st2 = FormatMse(Ann->GetMSE());
    a02mM->Add(TrainingMseLine(st2));
    a02mM->Add(MseExplanationLine());
    c21lntmE->setText(st);
    c22mseE->setText(st2);
}
