// chart_bench: filling the result chart with a long history, the way the
// predictions do it (three series, one AddXY per point, then UpdateAxes),
// beside appending the same points straight to Qt's line series one by one.
// Prints milliseconds per fill and for one redraw of the filled chart.
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

namespace {

QStringList Days(int n)
{
    QStringList days;
    const QDate first(2004, 1, 5);
    for (int k = 0; k <= n; ++k)
        days << first.addDays(k).toString(QStringLiteral("yyyy/MM/dd"));
    return days;
}

double Redraw(QWidget& view)
{
    QImage image(view.size(), QImage::Format_RGB32);
    QElapsedTimer timer;
    timer.start();
    view.render(&image);
    return timer.nsecsElapsed() / 1e6;
}

// Through TChart: points are buffered and shown in one go.
void Buffered(int n, const QStringList& days)
{
    TChart chart;
    chart.resize(857, 305);
    for (int s = 0; s < 3; ++s)
        chart.AddLineSeries();
    chart.SetBottomLabels(90, 10);
    chart.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    for (int s = 0; s < 3; ++s)
        chart.Series(s)->Clear();
    for (int k = 0; k < n; ++k) {
        chart.Series(0)->AddXY(k, 10000 + k % 700, days[k]);
        chart.Series(1)->AddXY(k, 10010 + k % 700, days[k]);
        chart.Series(2)->AddXY(k + 1, 10020 + k % 700, days[k + 1]);
    }
    chart.UpdateAxes();
    QApplication::processEvents();
    const double fill = timer.nsecsElapsed() / 1e6;
    std::printf("%-34s %7d points x3  fill %9.2f ms  redraw %7.2f ms\n", "TChart AddXY + UpdateAxes", n, fill,
                Redraw(chart));
}

// Straight to Qt: one append per point, axes ranged and labelled as it goes.
void Direct(int n, const QStringList& days)
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
    QElapsedTimer timer;
    timer.start();
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
    const double fill = timer.nsecsElapsed() / 1e6;
    std::printf("%-34s %7d points x3  fill %9.2f ms  redraw %7.2f ms\n", "QLineSeries append per point", n, fill,
                Redraw(view));
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
    for (int n : {20, 1000, 5105}) {
        const QStringList days = Days(n);
        Buffered(n, days);
        Direct(n, days);
    }
    // Two hundred thousand days, through TChart only.
    Buffered(200000, Days(200000));
    return 0;
}
