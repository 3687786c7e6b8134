// The two predictions: "予測1" over the last twenty windows and "全予測" over
// every window.  Each charts the actual closes against the network's first
// two outputs (and marks where the hold-out begins) and writes the outputs
// into the price table, one update per row through the in-memory database
// (each finds its row by the index on CNT).  "全予測" ends with its errors
// against the previous close.
#include "prices/BrelvanPrices.h"
#include "base/Messages.h"
#include "base/Errors.h"
#include "prices/Holdout.h"
#include "prices/NetworkSteps.h"
#include "prices/PriceTexts.h"
#include "prices/Windows.h"
#include "db/PriceTable.h"
#include "db/SqlText.h"

#include <algorithm>
#include <optional>

namespace {

// Outputs used: the network's, at most six.
int UsedOutputs(std::int32_t Iol, const std::vector<float>& op)
{
    return std::min({int(op.size()), int(std::max(Iol, 0)), 6});
}

}  // namespace

void TBrelvanPrices::ShowPredictedChart()
{
    if (Holdout.Days > 0)
        MarkHoldout(HoldoutMarkX(Idn, Holdout.Days, Iil));
    ShowChart();
}

void TBrelvanPrices::y04Yosok()
{
    if (Idn == 0) {
        ShowMessage(PredictionNoDataText());
        return;
    }
    RequireStarted();
    // The first of the twenty windows must start at element 0 or later, and
    // the last one's next day is the first future row.
    if (Idn < NextDayRowsNeeded(Iil)) {
        ShowMessage(NextDayTooFewRowsText(Idn, NextDayRowsNeeded(Iil)));
        return;
    }
    if (std::size_t(Idn) + 1 >= Data.size())
        throw ERangeError(QStringLiteral("予測する行 %1 がﾃﾞｰﾀの範囲外です").arg(Idn + 1));

    float pre[6] = {0, 0, 0, 0, 0, 0};
    ClearChart();
    std::vector<float> ip(std::size_t(Iil), 0.0f);
    std::vector<float> op;
    sa[9] = QString::fromLatin1(kPricePattern);
    int outputs = 0;

    const std::int32_t first = NextDayFirstWindow(Idn, Iil);
    for (std::int32_t i = first; i < first + kNextDayWindows; ++i) {
        for (std::int32_t j = 0; j < Iil; ++j)
            ip[std::size_t(j)] = Data[std::size_t(i + j)].EndV;
        Ann->Run(ip, op);
        outputs = UsedOutputs(Iol, op);
        for (int k = 0; k < outputs; ++k)
            pre[k] = renormalize(op[std::size_t(k)]);

        const TData& row1 = Data[std::size_t(NextDayRow(i, Iil, 0))];
        const TData& row2 = Data[std::size_t(NextDayRow(i, Iil, 1))];
        const QString sdt1 = DateToStr(row1.dt);
        const float fact1 = renormalize(row1.EndV);
        AddChartPoint(kActualSeries, NextDayX(i, 0), fact1, sdt1);
        if (outputs > 0)
            AddChartPoint(kSameDaySeries, NextDayX(i, 0), pre[0], sdt1);
        if (outputs > 1)
            AddChartPoint(kNextDaySeries, NextDayX(i, 1), pre[1], DateToStr(row2.dt));

        for (int k = 1; k <= 6; ++k)
            sa[k] = SqlText::YclPiece(k, pre[k - 1]);
        for (int k = 1; k <= outputs; ++k) {
            swh = SqlText::WhereCnt(NextDayRow(i, Iil, k - 1));
            sqw = SqlText::UpdateText(sa[k], swh);
            uexSqlM();
        }
    }
    ShowPredictedChart();

    const std::int32_t n = Idn;
    const QString sdt1 = DateToStr(Data[std::size_t(n)].dt);
    const QString sdt2 = DateToStr(Data[std::size_t(n) + 1].dt);
    AddLogLine(ActualCloseLine(sdt1, renormalize(Data[std::size_t(n)].EndV)));
    AddLogLine(ForecastHeadLine(sdt1));
    if (outputs > 0)
        AddLogLine(ForecastLine(sdt1, pre[0]));
    if (outputs > 1)
        AddLogLine(ForecastLine(sdt2, pre[1]));
    swh.clear();
    uqb(1);
}

TWholePeriodRun::TWholePeriodRun() = default;
TWholePeriodRun::~TWholePeriodRun() = default;
TWholePeriodRun::TWholePeriodRun(TWholePeriodRun&&) noexcept = default;
TWholePeriodRun& TWholePeriodRun::operator=(TWholePeriodRun&&) noexcept = default;

void TBrelvanPrices::y05znYos()
{
    TWholePeriodRun run = y05znYosOpen();
    run.Outputs = WholePeriodOutputs(*Ann, Data, Iil, Iol, run.Windows);
    while (y05znYosWrite(run, run.Windows)) {
    }
    y05znYosClose(run);
}

TWholePeriodRun TBrelvanPrices::y05znYosOpen()
{
    RequireStarted();
    ClearChart();
    sa[3] = QString::fromLatin1(kPricePattern);

    TWholePeriodRun run;
    run.Windows = WholePeriodWindowCount(Idn, Iil);
    if (run.Windows > 0 && std::size_t(Idn) >= Data.size())
        throw ERangeError(QStringLiteral("予測する行 %1 がﾃﾞｰﾀの範囲外です").arg(Idn));
    run.Updates = std::make_unique<TPriceUpdates>(*this);
    return run;
}

bool TBrelvanPrices::y05znYosWrite(TWholePeriodRun& run, std::int32_t count)
{
    const std::int32_t end = std::min(run.Outputs.Done, run.Written + std::max(count, 0));
    const int outputs = run.Outputs.Used;
    std::int32_t last = -1;   // the last window written
    QString price1, price2;
    for (std::int32_t i = run.Written; i < end; ++i) {
        run.Written = i + 1;
        if (outputs < 1)
            continue;
        const float pre1 = renormalize(run.Outputs.Values[2 * std::size_t(i)]);
        const TData& row1 = Data[std::size_t(WholePeriodChartRow(i, Iil, 0))];
        const TData& row2 = Data[std::size_t(WholePeriodChartRow(i, Iil, 1))];
        // The next-day date of one window is the same-day date of the next.
        const QString sdt1 = &row1 == run.NextRow ? run.NextDate : DateToStr(row1.dt);
        AddChartPoint(kActualSeries, WholePeriodX(i, 0), renormalize(row1.EndV), sdt1);
        AddChartPoint(kSameDaySeries, WholePeriodX(i, 0), pre1, sdt1);
        price1 = FormatPrice(pre1);
        if (const std::int32_t day = WholePeriodChartRow(i, Iil, 0); day > 1)
            run.Days.push_back({row1.Close, Data[std::size_t(day) - 1].Close, WrittenPrice(pre1)});
        price2.clear();   // one output: YCL2 stays as it is
        if (outputs > 1) {
            const float pre2 = renormalize(run.Outputs.Values[2 * std::size_t(i) + 1]);
            run.NextDate = DateToStr(row2.dt);
            run.NextRow = &row2;
            AddChartPoint(kNextDaySeries, WholePeriodX(i, 1), pre2, run.NextDate);
            price2 = FormatPrice(pre2);
        }
        run.Updates->Update(WholePeriodRow(i, Iil), price1, price2);
        last = i;
    }
    run.Updates->Flush();
    // The statement state as the last row's text update leaves it.
    if (last >= 0) {
        if (outputs > 1) {
            sa[1] = SqlText::YclPiece(1, price1) + QStringLiteral(", ");
            sa[2] = SqlText::YclPiece(2, price2);
        } else {
            sa[1] = SqlText::YclPiece(1, price1);
            sa[2].clear();
        }
        swh = SqlText::WhereCnt(WholePeriodRow(last, Iil));
        sqw = SqlText::UpdateText(sa[1] + sa[2], swh);
    }
    return run.Written < run.Outputs.Done;
}

void TBrelvanPrices::y05znYosClose(TWholePeriodRun& run)
{
    run.Updates.reset();   // the prepared statements end before the grid reads the table
    if (run.Written < run.Windows)
        AddLogLine(WholePeriodStoppedLine(run.Written, run.Windows));
    ShowPredictedChart();
    swh.clear();
    uqb(1);
    AddLogLine(WholePeriodLine());
    if (!run.Days.empty()) {
        const TErrorFigures figures = ErrorFigures(run.Days);
        AddLogLine(WholePeriodMaeLine(figures.ModelMae, figures.BaselineMae));
    }
}
