// The result chart's set-up: title, axes and the three line series that the
// predictions address by index.
#include "app/BrelvanU.h"

namespace {

struct TSeriesSetting {
    const char* Title;
    int PenWidth;
};

// Index 0: the actual close; 1: the same day's prediction; 2: the next
// business day's prediction.
const TSeriesSetting kSeries[] = {
    {"終値価格", 4},
    {"当営業日予測値", 4},
    {"翌営業日予測値", 1},
};

}  // namespace

void TBrelvanF::y01setChart()
{
    // A start-up that is run again after stopping early prepares the chart afresh.
    a03Cht->RemoveAllSeries();
    for (std::size_t i = 0; i < std::size(kSeries); ++i)
        a03Cht->AddLineSeries();
    a03Cht->SetTitle(QStringLiteral("終値価格の予測"));
    for (int i = 0; i < int(std::size(kSeries)); ++i)
        a03Cht->Series(i)->SetPenWidth(kSeries[i].PenWidth);
    for (int i = 0; i < int(std::size(kSeries)); ++i)
        a03Cht->Series(i)->SetTitle(QString::fromUtf8(kSeries[i].Title));
    a03Cht->SetBottomLabels(90, 10);
    a03Cht->View3D = false;
    a03Cht->LeftAxisAutomatic = true;
    a03Cht->UpdateAxes();
}
