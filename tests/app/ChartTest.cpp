// The result chart: its set-up, and how it shows a long history.
#include "app/BrelvanU.h"
#include "app/ChartDecimation.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QDate>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <map>
#include <random>

namespace {

class Chart : public ::testing::Test {
protected:
    void SetUp() override
    {
        Window = std::make_unique<TBrelvanF>();
        Window->y01setChart();
    }
    TChart& chart() { return *Window->a03Cht; }
    std::unique_ptr<TBrelvanF> Window;
};

// A day label of the k-th point.
QString Day(int k) { return QStringLiteral("D%1").arg(k, 5, 10, QLatin1Char('0')); }

}  // namespace

TEST_F(Chart, IsSetUpWithItsTitleAndThreeEmptySeries)
{
    EXPECT_EQ(chart().Title(), "終値価格の予測");
    ASSERT_EQ(chart().SeriesCount(), 3);
    const QStringList titles = {"終値価格", "当営業日予測値", "翌営業日予測値"};
    const int pens[] = {4, 4, 1};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TLineSeries* series = chart().Series(i);
        EXPECT_EQ(series->Title(), titles[i]);
        EXPECT_EQ(series->PenWidth(), pens[i]);
        EXPECT_EQ(series->Count(), 0);
        EXPECT_EQ(series->Series()->count(), 0);
        EXPECT_EQ(chart().chart()->series().at(i), series->Series());
    }
    EXPECT_NE(chart().Series(0)->Series()->color(), chart().Series(1)->Series()->color());
    EXPECT_NE(chart().Series(1)->Series()->color(), chart().Series(2)->Series()->color());
    EXPECT_FALSE(chart().View3D);
    EXPECT_TRUE(chart().LeftAxisAutomatic);
    EXPECT_TRUE(chart().renderHints().testFlag(QPainter::Antialiasing));
    EXPECT_EQ(std::abs(chart().BottomAxis()->labelsAngle()), 90);
    EXPECT_EQ(chart().BottomAxis()->labelsFont().pointSize(), 10);
    EXPECT_THROW(chart().Series(3), std::exception);

    // Prepared again (a start-up run once more), it still has three series.
    Window->y01setChart();
    EXPECT_EQ(chart().SeriesCount(), 3);
    EXPECT_EQ(chart().chart()->series().size(), 3);
}

TEST_F(Chart, ShowsAThousandsOfDaysHistoryWithThinnedLabels)
{
    constexpr int n = 5000;
    for (int k = 0; k < n; ++k) {
        chart().Series(0)->AddXY(k, 10000 + k, Day(k));
        chart().Series(1)->AddXY(k, 9000 + 2 * k, Day(k));
        chart().Series(2)->AddXY(k + 1, 9500 + k, Day(k + 1));
    }
    EXPECT_EQ(chart().Series(2)->Count(), n);
    EXPECT_EQ(chart().Series(2)->XValue(n - 1), n);
    EXPECT_EQ(chart().Series(2)->Label(n - 1), Day(n));
    chart().UpdateAxes();

    // The series keep every point; they draw a few per pixel column, the
    // last one included, with a thin pen.
    const int columns = chart().PlotColumns();
    ASSERT_LT(4 * columns, n);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(chart().Series(i)->Count(), n);
        EXPECT_LE(chart().Series(i)->Series()->count(), 4 * columns);
        EXPECT_GE(chart().Series(i)->Series()->count(), columns);
    }
    EXPECT_EQ(chart().Series(2)->Series()->points().back(), QPointF(n, 9500 + n - 1));
    EXPECT_EQ(chart().Series(0)->PenWidth(), 4);
    EXPECT_EQ(chart().Series(0)->DrawnPenWidth(), 2);
    EXPECT_EQ(chart().Series(2)->DrawnPenWidth(), 1);
    // The left axis follows the points.
    EXPECT_LE(chart().LeftAxis()->min(), 9000);
    EXPECT_GE(chart().LeftAxis()->max(), 9000 + 2 * (n - 1));
    EXPECT_LT(chart().LeftAxis()->max() - chart().LeftAxis()->min(), 2 * (18998 - 9000));
    EXPECT_EQ(chart().BottomAxis()->min(), 0);
    EXPECT_EQ(chart().BottomAxis()->max(), n);

    // Every k-th day is labelled, the labels standing far enough apart.
    const QStringList labels = chart().BottomAxis()->categoriesLabels();
    const int step = chart().LabelStep();
    ASSERT_GT(labels.size(), 5);
    EXPECT_EQ(labels.front(), Day(0));
    EXPECT_EQ(labels[1], Day(step));
    const double pixelsPerPoint = chart().width() / double(n);
    const int labelHeight = QFontMetrics(chart().BottomAxis()->labelsFont()).height();
    EXPECT_GE(step * pixelsPerPoint, labelHeight);
    EXPECT_LE(labels.size(), chart().width() / labelHeight);
    for (int i = 1; i < labels.size(); ++i)
        EXPECT_EQ(chart().BottomAxis()->endValue(labels[i]) - chart().BottomAxis()->endValue(labels[i - 1]), step);

    // A second prediction over other prices rescales the left axis.
    for (int i = 0; i < 3; ++i)
        chart().Series(i)->Clear();
    for (int k = 0; k < 20; ++k)
        chart().Series(0)->AddXY(k, 500 + k, Day(k));
    chart().UpdateAxes();
    EXPECT_LE(chart().LeftAxis()->min(), 500);
    EXPECT_GE(chart().LeftAxis()->max(), 519);
    EXPECT_LT(chart().LeftAxis()->max(), 600);
    EXPECT_EQ(chart().Series(1)->Series()->count(), 0);
    EXPECT_EQ(chart().Series(0)->Series()->count(), 20);
    EXPECT_EQ(chart().Series(0)->DrawnPenWidth(), 4);
    EXPECT_EQ(chart().LabelStep(), 1);
    EXPECT_EQ(chart().BottomAxis()->categoriesLabels().size(), 20);
}

TEST_F(Chart, ShowsAddedPointsOnTheNextTurnOfTheEventLoop)
{
    chart().Series(0)->AddXY(1, 2, "a");
    chart().Series(0)->AddXY(2, 3, "b");
    EXPECT_EQ(chart().Series(0)->Series()->count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(chart().Series(0)->Series()->count(), 2);
    EXPECT_EQ(chart().BottomAxis()->categoriesLabels(), QStringList({"a", "b"}));
}
TEST_F(Chart, DrawsEveryShownDateInFullOnScreen)
{
    Window->pc->SetActivePage(Window->ats);
    Window->show();
    QCoreApplication::processEvents();
    const QDate first(2004, 1, 5);
    for (int k = 0; k < 5105; ++k)
        chart().Series(0)->AddXY(k, 10000 + k % 300, first.addDays(k).toString("yyyy/MM/dd"));
    chart().UpdateAxes();
    QCoreApplication::processEvents();

    const QStringList labels = chart().BottomAxis()->categoriesLabels();
    ASSERT_GT(labels.size(), 10);
    QStringList drawn;
    for (QGraphicsItem* item : chart().scene()->items()) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible())
            drawn << text->toPlainText();
    }
    for (const QString& label : labels)
        EXPECT_TRUE(drawn.contains(label)) << label.toStdString();   // not cut short
}

TEST_F(Chart, LabelsTheLeftAxisWithAPointWhateverTheLocale)
{
    Window->pc->SetActivePage(Window->ats);
    Window->show();
    for (int k = 0; k < 20; ++k)
        chart().Series(0)->AddXY(k, 0.5 + k * 0.0625, Day(k));
    chart().UpdateAxes();
    QCoreApplication::processEvents();

    QStringList numbers;
    for (QGraphicsItem* item : chart().scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (text && text->isVisible() && !text->toPlainText().isEmpty() && text->toPlainText().at(0).isDigit())
            numbers << text->toPlainText();
    }
    ASSERT_GE(numbers.size(), 3);
    EXPECT_TRUE(numbers.contains(QStringLiteral("1.5"))) << numbers.join(' ').toStdString();
    for (const QString& number : numbers)
        EXPECT_FALSE(number.contains(QLatin1Char(','))) << number.toStdString();
}

TEST_F(Chart, MarksAPositionOnlyWhileThePointsReachIt)
{
    for (int k = 0; k < 10; ++k)
        chart().Series(kActualSeries)->AddXY(k, 100 + k, Day(k));
    chart().SetMark(4.5, QStringLiteral("検証期間の始まり"));
    chart().UpdateAxes();
    ASSERT_TRUE(chart().MarkShown());
    EXPECT_EQ(chart().SeriesCount(), 3);   // not one of the series found by index
    auto* mark = qobject_cast<QLineSeries*>(chart().chart()->series().last());
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->name(), "検証期間の始まり");
    EXPECT_EQ(mark->points(), (QList<QPointF>{{4.5, chart().LeftAxis()->min()}, {4.5, chart().LeftAxis()->max()}}));

    chart().SetMark(9.5, QStringLiteral("検証期間の始まり"));   // beyond the last point
    chart().UpdateAxes();
    EXPECT_FALSE(chart().MarkShown());
    chart().SetMark(0, QStringLiteral("検証期間の始まり"));
    chart().UpdateAxes();
    EXPECT_TRUE(chart().MarkShown());
    chart().ClearMark();
    chart().UpdateAxes();
    EXPECT_FALSE(chart().MarkShown());

    Window->y01setChart();   // prepared again: the mark goes with the series
    EXPECT_EQ(chart().chart()->series().size(), 3);
}

// ---- What a long series draws ---------------------------------------------------

namespace {

struct DecimationCase {
    const char* Name;
    QList<QPointF> Points;
    double Left, Right;
    int Columns;
    bool Whole;   // drawn as it is
};

QList<QPointF> Walk(int n, double x0, double dx)
{
    std::mt19937 random(20200417);
    std::normal_distribution<double> step(0, 1);
    QList<QPointF> points;
    double y = 0;
    for (int i = 0; i < n; ++i)
        points.append(QPointF(x0 + dx * i, y += step(random)));
    return points;
}

class Decimation : public ::testing::TestWithParam<DecimationCase> {};

TEST_P(Decimation, KeepsFirstLowHighAndLastOfEachColumn)
{
    const DecimationCase& c = GetParam();
    const QList<QPointF> drawn = DecimateForColumns(c.Points, c.Left, c.Right, c.Columns);
    if (c.Whole) {
        EXPECT_EQ(drawn, c.Points);
        return;
    }
    ASSERT_LE(drawn.size(), 4 * c.Columns);
    // Every kept point is one of the series', in the series' order.
    qsizetype at = 0;
    for (const QPointF& p : drawn) {
        while (at < c.Points.size() && c.Points[at] != p)
            ++at;
        ASSERT_LT(at, c.Points.size()) << "not in order: " << p.x();
        ++at;
    }
    // Each pixel column's first, last, lowest and highest point is kept.
    const auto column = [&](const QPointF& p) {
        return std::clamp(int(std::floor((p.x() - c.Left) * c.Columns / (c.Right - c.Left))), 0, c.Columns - 1);
    };
    std::map<int, QList<QPointF>> all, kept;
    for (const QPointF& p : c.Points)
        all[column(p)].append(p);
    for (const QPointF& p : drawn)
        kept[column(p)].append(p);
    ASSERT_EQ(kept.size(), all.size());
    const auto byY = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    for (const auto& [col, points] : all) {
        SCOPED_TRACE(col);
        const QList<QPointF>& k = kept[col];
        EXPECT_EQ(k.front(), points.front());
        EXPECT_EQ(k.back(), points.back());
        EXPECT_EQ(std::min_element(k.begin(), k.end(), byY)->y(), std::min_element(points.begin(), points.end(), byY)->y());
        EXPECT_EQ(std::max_element(k.begin(), k.end(), byY)->y(), std::max_element(points.begin(), points.end(), byY)->y());
    }
}

QList<QPointF> Reversed(QList<QPointF> points)
{
    std::reverse(points.begin(), points.end());
    return points;
}

INSTANTIATE_TEST_SUITE_P(
    Series, Decimation,
    ::testing::Values(DecimationCase{"FourPointsPerColumnAreDrawnWhole", Walk(400, 0, 1), 0, 399, 100, true},
                      DecimationCase{"DenseWalk", Walk(20000, 0, 1), 0, 19999, 650, false},
                      DecimationCase{"FractionalSteps", Walk(5001, -3, 0.37), -3, -3 + 0.37 * 5000, 97, false},
                      DecimationCase{"WiderAxisThanSeries", Walk(3000, 100, 1), 0, 4000, 60, false},
                      DecimationCase{"RepeatedPositions",
                                     [] {
                                         QList<QPointF> p;
                                         for (int i = 0; i < 3000; ++i)
                                             p.append(QPointF(i / 10, (i * 7919) % 113));
                                         return p;
                                     }(),
                                     0, 299, 30, false},
                      DecimationCase{"DescendingIsDrawnWhole", Reversed(Walk(3000, 0, 1)), 0, 2999, 10, true},
                      DecimationCase{"NoColumns", Walk(3000, 0, 1), 0, 2999, 0, true},
                      DecimationCase{"NoRange", Walk(3000, 5, 0), 5, 5, 10, true}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
