// The result chart: its set-up, and how it shows a long history.
#include "app/BrelvanU.h"
#include "app/ChartDecimation.h"
#include "app/ChartScale.h"
#include "support/PrintQString.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QDate>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QToolTip>
#include <QWheelEvent>
#include <QtTest/QTest>
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

TEST_F(Chart, FitsTheLeftAxisToThePricesWithRoundBounds)
{
    // Closes from 997 to 3000, as the 200,000 rows' lowest and a high: the
    // axis starts at a round price below the lowest, never below zero.
    struct TCase {
        double Low, High;
        double Min, Max;
        int Ticks;
    };
    const TCase cases[] = {{997, 3000, 500, 3000, 6}, {997, 40000, 0, 40000, 5}, {2874.56, 2874.56, 2840, 2920, 5}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Low);
        chart().Series(kActualSeries)->Clear();
        for (int k = 0; k < 2000; ++k)
            chart().Series(kActualSeries)->AddXY(k, c.Low + (c.High - c.Low) * k / 1999, Day(k));
        chart().UpdateAxes();
        EXPECT_DOUBLE_EQ(chart().LeftAxis()->min(), c.Min);
        EXPECT_DOUBLE_EQ(chart().LeftAxis()->max(), c.Max);
        EXPECT_EQ(chart().LeftAxis()->tickCount(), c.Ticks);
    }
    EXPECT_EQ(chart().LeftAxis()->titleText(), "価格");
    EXPECT_EQ(chart().BottomAxis()->titleText(), "日付");
    EXPECT_TRUE(chart().BottomAxis()->isTitleVisible());
    // Without dates the bottom axis has no height: its title would stand at the top left.
    chart().Series(kActualSeries)->Clear();
    chart().UpdateAxes();
    EXPECT_FALSE(chart().BottomAxis()->isTitleVisible());
}

TEST_F(Chart, ZoomsPansAndShowsAllAgainWithTheMouse)
{
    Window->pc->SetActivePage(Window->ats);
    Window->show();
    QCoreApplication::processEvents();
    constexpr int n = 20000;
    for (int k = 0; k < n; ++k) {
        chart().Series(kActualSeries)->AddXY(k, 1000 + k, Day(k));
        chart().Series(kSameDaySeries)->AddXY(k, 1000 + k + (k % 2 ? 30 : -30), Day(k));
    }
    chart().SetMark(n / 2 + 0.5, QStringLiteral("検証期間の始まり"));
    chart().UpdateAxes();
    QCoreApplication::processEvents();
    ASSERT_TRUE(chart().ShowsAll());
    EXPECT_EQ(chart().Series(kActualSeries)->DrawnPenWidth(), 2);
    QWidget* view = chart().viewport();
    const QRectF plot = chart().chart()->plotArea();
    ASSERT_GT(plot.width(), 100);
    const QPoint at = (plot.topLeft() + QPointF(plot.width() * 0.75, plot.height() / 2)).toPoint();
    const double position = chart().PositionAt(at);
    EXPECT_NEAR(position, 0.75 * (n - 1), 0.01 * n);
    const auto wheel = [&](int notches) {
        QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &event);
    };
    const auto span = [&] { return chart().ViewRight() - chart().ViewLeft(); };

    // Each notch forward zooms in 1.25 times around the mouse; the left axis
    // fits the prices in view, the mark spans it.
    wheel(1);
    EXPECT_NEAR(span(), (n - 1) / 1.25, 1e-6);
    EXPECT_NEAR(chart().PositionAt(at), position, 1e-6 * n);
    EXPECT_FALSE(chart().ShowsAll());
    wheel(4);
    EXPECT_NEAR(span(), (n - 1) / std::pow(1.25, 5), 1e-6);
    EXPECT_GE(chart().LeftAxis()->min(), 1000 + chart().ViewLeft() - 30 - span() / 2);
    EXPECT_LE(chart().LeftAxis()->max(), 1000 + chart().ViewRight() + 30 + span() / 2);
    ASSERT_TRUE(chart().MarkShown());
    auto* mark = qobject_cast<QLineSeries*>(chart().chart()->series().last());
    EXPECT_EQ(mark->points().front().y(), chart().LeftAxis()->min());
    EXPECT_EQ(mark->points().back().y(), chart().LeftAxis()->max());
    // What is drawn is what is in view and the next point either side.
    for (const QPointF& p : chart().Series(kSameDaySeries)->Series()->points()) {
        EXPECT_GE(p.x(), chart().ViewLeft() - 1);
        EXPECT_LE(p.x(), chart().ViewRight() + 1);
    }

    // Dragging 100 pixels to the left shows 100 pixels' worth further right.
    const double left = chart().ViewLeft(), perPixel = span() / chart().chart()->plotArea().width();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(view, at - QPoint(100, 0));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, at - QPoint(100, 0));
    EXPECT_NEAR(chart().ViewLeft(), left + 100 * perPixel, 1e-6 * n);
    EXPECT_NEAR(span(), (n - 1) / std::pow(1.25, 5), 1e-6);
    // ... never beyond the points.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseMove(view, at + QPoint(plot.width() * 20, 0));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, at + QPoint(plot.width() * 20, 0));
    EXPECT_EQ(chart().ViewLeft(), 0);

    // Zoomed in to a few points the series have their own pens again; never
    // fewer than kMinSpan positions.
    wheel(100);
    EXPECT_DOUBLE_EQ(span(), TChart::kMinSpan);
    EXPECT_EQ(chart().Series(kActualSeries)->DrawnPenWidth(), 4);
    EXPECT_LE(chart().Series(kActualSeries)->Series()->count(), int(TChart::kMinSpan) + 3);

    // A double click shows all again; so does Home, and the keys zoom and pan.
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(chart().ShowsAll());
    EXPECT_EQ(chart().BottomAxis()->min(), 0);
    EXPECT_EQ(chart().BottomAxis()->max(), n - 1);
    EXPECT_EQ(chart().Series(kActualSeries)->DrawnPenWidth(), 2);
    chart().setFocus(Qt::TabFocusReason);
    QTest::keyClick(&chart(), Qt::Key_Plus);
    EXPECT_NEAR(span(), (n - 1) / 1.25, 1e-6);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&chart(), Qt::Key_Right);
    EXPECT_EQ(chart().ViewRight(), n - 1);
    QTest::keyClick(&chart(), Qt::Key_Home);
    EXPECT_TRUE(chart().ShowsAll());
    // A right click is the menu's, not a drag.
    QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseMove(view, at - QPoint(100, 0));
    QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, at - QPoint(100, 0));
    EXPECT_TRUE(chart().ShowsAll());
}

TEST_F(Chart, TellsTheDateAndTheValuesAtTheMouse)
{
    for (int k = 0; k < 20; ++k) {
        chart().Series(kActualSeries)->AddXY(k, 100 + k, Day(k));
        chart().Series(kSameDaySeries)->AddXY(k, 90.25 + k, Day(k));
        chart().Series(kNextDaySeries)->AddXY(k + 1, 95 + k, Day(k + 1));
    }
    chart().UpdateAxes();
    EXPECT_EQ(chart().PointsText(5), "D00005\n終値価格: 105.00\n当営業日予測値: 95.25\n翌営業日予測値: 99.00");
    EXPECT_EQ(chart().PointsText(5.4), chart().PointsText(5));
    EXPECT_EQ(chart().PointsText(0), "D00000\n終値価格: 100.00\n当営業日予測値: 90.25");
    EXPECT_EQ(chart().PointsText(20), "D00020\n翌営業日予測値: 114.00");
    EXPECT_EQ(chart().PointsText(-3), "");

    // Over the plot the mouse shows it in a tooltip.
    Window->pc->SetActivePage(Window->ats);
    Window->show();
    QCoreApplication::processEvents();
    const QRectF plot = chart().chart()->plotArea();
    const double share = (7 - chart().ViewLeft()) / (chart().ViewRight() - chart().ViewLeft());
    const QPoint at = (plot.topLeft() + QPointF(plot.width() * share, plot.height() / 2)).toPoint();
    QTest::mouseMove(chart().viewport(), at);
    EXPECT_EQ(QToolTip::text(), chart().PointsText(7));
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

TEST(VisiblePoints, ThinsWhatIsInViewAndRunsOnToTheNextPointEitherSide)
{
    const QList<QPointF> walk = Walk(20000, 0, 1);
    // All in view: the decimation of the whole series.
    EXPECT_EQ(VisiblePoints(walk, 0, 19999, 300), DecimateForColumns(walk, 0, 19999, 300));
    // A few points in view: all of them, and their neighbours out of view.
    const QList<QPointF> few = VisiblePoints(walk, 99.5, 120.5, 300);
    EXPECT_EQ(few, walk.mid(99, 23));
    // Many in view: the neighbours, and between them what DecimateForColumns
    // keeps of the points in view alone (an extreme out of view takes no
    // column's place).
    const double left = 5000.5, right = 9000.2;
    const QList<QPointF> drawn = VisiblePoints(walk, left, right, 100);
    ASSERT_GT(drawn.size(), 200);
    EXPECT_EQ(drawn.front(), walk[5000]);
    EXPECT_EQ(drawn.back(), walk[9001]);
    EXPECT_EQ(drawn.mid(1, drawn.size() - 2), DecimateForColumns(walk.mid(5001, 4000), left, right, 100));
    // A series that does not ascend is drawn whole.
    EXPECT_EQ(VisiblePoints(Reversed(walk), left, right, 100), Reversed(walk));
}

TEST(NiceScale, PutsRoundBoundsAroundTheValues)
{
    struct TCase {
        const char* Name;
        double Low, High;
        int MaxIntervals;
        TAxisScale Scale;
    };
    const TCase cases[] = {
        {"closes from 997 to 3000", 997, 3000, 5, {500, 3000, 500, 5}},
        {"no bound below zero for positive values", 997, 40000, 5, {0, 40000, 10000, 4}},
        {"bounds that are round already", 1000, 3000, 5, {1000, 3000, 500, 4}},
        {"quarters", 0.5, 1.6875, 5, {0.5, 1.75, 0.25, 5}},
        {"across zero", -5, 5, 5, {-5, 5, 2.5, 4}},
        {"one step at most", 3, 97, 1, {0, 100, 100, 1}},
        {"one value", 100, 100, 5, {99, 101, 0.5, 4}},
        {"zero alone", 0, 0, 5, {-1, 1, 0.5, 4}},
        {"not a number", std::nan(""), 5, 5, {0, 1, 1, 1}},
        {"wider than a double", -1e308, 1e308, 5, {0, 1, 1, 1}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TAxisScale scale = NiceScale(c.Low, c.High, c.MaxIntervals);
        EXPECT_DOUBLE_EQ(scale.Min, c.Scale.Min);
        EXPECT_DOUBLE_EQ(scale.Max, c.Scale.Max);
        EXPECT_DOUBLE_EQ(scale.Step, c.Scale.Step);
        EXPECT_EQ(scale.Intervals, c.Scale.Intervals);
    }
}

}  // namespace
