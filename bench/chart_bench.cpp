// chart_bench: filling the result chart with a long history, the way the
// predictions do it (three series, one AddXY per point, then UpdateAxes and
// the chart painted once), and one redraw of the filled chart; beside, for
// the shorter histories, appending the same points straight to Qt's line
// series one by one.
//
//   chart_bench [--repeat N]
//
// Each figure of TChart is the best of N runs (default 5) in milliseconds of wall
// time, with the process's processor time of that run beside it: on a
// machine shared with other work the processor time is the steadier one.
// Goals: at 200,000 points per series a fill within 100 ms and a redraw
// within 50 ms.  Beside them for TChart, one step of the wheel's zoom (to an
// eighth of the positions, drawn for that view) and the redraw after it.
#include "app/Controls.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

QStringList Days(int n)
{
    QStringList days;
    const QDate first(2004, 1, 5);
    for (int k = 0; k <= n; ++k)
        days << first.addDays(k).toString(QStringLiteral("yyyy/MM/dd"));
    return days;
}

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Wall and processor time of one run of a step, in milliseconds.
struct TTime {
    double Wall = 1e300;
    double Cpu = 1e300;
};

class TStopwatch {
public:
    TStopwatch() : fCpu(CpuMs()) { fWall.start(); }
    TTime Elapsed() const { return {fWall.nsecsElapsed() / 1e6, CpuMs() - fCpu}; }
private:
    QElapsedTimer fWall;
    double fCpu;
};

void KeepBest(TTime& best, const TTime& t)
{
    if (t.Wall < best.Wall)
        best = t;
}

TTime Redraw(QWidget& view)
{
    QImage image(view.size(), QImage::Format_RGB32);
    const TStopwatch watch;
    view.render(&image);
    return watch.Elapsed();
}

struct TTimes {
    TTime Fill, Redraw, Zoom, ZoomRedraw;
};

// Through TChart: points are kept and shown in one go, drawn per pixel column.
void Buffered(int n, const QStringList& days, TTimes& times)
{
    TChart chart;
    chart.resize(857, 305);
    for (int s = 0; s < 3; ++s)
        chart.AddLineSeries();
    chart.Series(0)->SetPenWidth(4);
    chart.Series(1)->SetPenWidth(4);
    chart.SetBottomLabels(90, 10);
    chart.show();
    QApplication::processEvents();
    const TStopwatch watch;
    for (int s = 0; s < 3; ++s)
        chart.Series(s)->Clear();
    for (int k = 0; k < n; ++k) {
        chart.Series(0)->AddXY(k, 10000 + k % 700, days[k]);
        chart.Series(1)->AddXY(k, 10010 + k % 700, days[k]);
        chart.Series(2)->AddXY(k + 1, 10020 + k % 700, days[k + 1]);
    }
    chart.UpdateAxes();
    QApplication::processEvents();
    KeepBest(times.Fill, watch.Elapsed());
    KeepBest(times.Redraw, Redraw(chart));
    const TStopwatch zoom;
    chart.ZoomAround(n / 3.0, 8);
    QApplication::processEvents();
    KeepBest(times.Zoom, zoom.Elapsed());
    KeepBest(times.ZoomRedraw, Redraw(chart));
}

// Straight to Qt: one append per point, axes ranged and labelled as it goes.
void Direct(int n, const QStringList& days, TTimes& times)
{
    QChartView view;
    view.resize(857, 305);
    auto* y = new QValueAxis;
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setLabelsAngle(-90);
    view.chart()->addAxis(y, Qt::AlignLeft);
    view.chart()->addAxis(x, Qt::AlignBottom);
    QLineSeries* series[3];
    for (auto*& s : series) {
        s = new QLineSeries;
        view.chart()->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    }
    view.show();
    QApplication::processEvents();
    const TStopwatch watch;
    const int step = std::max(1, n / 20);
    for (int k = 0; k < n; ++k) {
        series[0]->append(k, 10000 + k % 700);
        series[1]->append(k, 10010 + k % 700);
        series[2]->append(k + 1, 10020 + k % 700);
        if (k % step == 0)
            x->append(days[k], k);
    }
    y->setRange(10000, 10720);
    x->setRange(0, n);
    QApplication::processEvents();
    KeepBest(times.Fill, watch.Elapsed());
    KeepBest(times.Redraw, Redraw(view));
}

using TFill = std::function<void(int, const QStringList&, TTimes&)>;

void Measure(const char* name, const TFill& run, int n, int repeat, const char* goal)
{
    const QStringList days = Days(n);
    TTimes times;
    for (int r = 0; r < repeat; ++r)
        run(n, days, times);
    std::printf("%-30s %7d points x3  fill %8.2f ms (cpu %8.2f)  redraw %7.2f ms (cpu %7.2f)", name, n,
                times.Fill.Wall, times.Fill.Cpu, times.Redraw.Wall, times.Redraw.Cpu);
    if (times.Zoom.Wall < 1e300)
        std::printf("  zoom %6.2f ms, redraw %6.2f ms", times.Zoom.Wall, times.ZoomRedraw.Wall);
    std::printf("%s\n", goal);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication app(argc, argv);
    // The figures print with a point whatever the locale, which the
    // application has just taken from the environment.
    std::setlocale(LC_NUMERIC, "C");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int repeat = 5;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--repeat"))
            repeat = std::max(1, args[++i].toInt());
    }
    std::printf("best of %d runs\n", repeat);
    for (int n : {20, 1000, 5105}) {
        Measure("TChart AddXY + UpdateAxes", Buffered, n, repeat, "");
        Measure("QLineSeries append per point", Direct, n, 1, "  (one run)");
    }
    // Two hundred thousand days, through TChart only.
    Measure("TChart AddXY + UpdateAxes", Buffered, 200000, repeat, "  (goals: fill <= 100, redraw <= 50)");
    return 0;
}
