#include "app/ChartDecimation.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The points of one pixel column by their index in the series.
struct TColumn {
    qsizetype First = -1, Low = -1, High = -1, Last = -1;

    void Take(const QPointF* points, qsizetype i)
    {
        if (First < 0) {
            First = Low = High = Last = i;
            return;
        }
        const double y = points[i].y();
        if (y < points[Low].y())
            Low = i;
        if (y > points[High].y())
            High = i;
        Last = i;
    }

    // Appends the column's points in series order, each once.
    void Put(const QPointF* points, QList<QPointF>& out) const
    {
        if (First < 0)
            return;
        std::array<qsizetype, 4> kept{First, Low, High, Last};
        std::sort(kept.begin(), kept.end());
        qsizetype previous = -1;
        for (qsizetype i : kept) {
            if (i != previous)
                out.append(points[i]);
            previous = i;
        }
    }
};

// Whether the X values never descend (a value that is not a number counts as descending).
bool Ascends(const QList<QPointF>& points)
{
    for (qsizetype i = 1; i < points.size(); ++i) {
        if (!(points[i].x() >= points[i - 1].x()))
            return false;
    }
    return points.isEmpty() || !std::isnan(points.front().x());
}

// The decimation of n ascending points from `points` on; false when a point descends.
bool Decimate(const QPointF* points, qsizetype n, double left, double right, int columns, QList<QPointF>& out)
{
    const double scale = columns / (right - left);
    out.reserve(out.size() + 4 * qsizetype(columns) + 4);
    TColumn column;
    long current = -1;
    double previousX = -HUGE_VAL;
    for (qsizetype i = 0; i < n; ++i) {
        const double x = points[i].x();
        if (!(x >= previousX))   // descending, or not a number
            return false;
        previousX = x;
        const long at = std::clamp(long(std::floor((x - left) * scale)), 0L, long(columns) - 1);
        if (at != current) {
            column.Put(points, out);
            column = TColumn();
            current = at;
        }
        column.Take(points, i);
    }
    column.Put(points, out);
    return true;
}

bool DrawnWhole(qsizetype n, double left, double right, int columns)
{
    return columns <= 0 || !(right > left) || n <= 4 * qsizetype(columns);
}

}  // namespace

QList<QPointF> DecimateForColumns(const QList<QPointF>& points, double left, double right, int columns)
{
    if (DrawnWhole(points.size(), left, right, columns))
        return points;
    QList<QPointF> out;
    if (!Decimate(points.constData(), points.size(), left, right, columns, out))
        return points;   // descending: draw the series as it is
    return out;
}

TPointSlice SliceWithin(const QList<QPointF>& points, double left, double right)
{
    if (!Ascends(points))
        return {0, points.size(), false};
    const auto before = [](const QPointF& p, double x) { return p.x() < x; };
    const auto after = [](double x, const QPointF& p) { return x < p.x(); };
    const auto first = std::lower_bound(points.begin(), points.end(), left, before);
    const auto last = std::upper_bound(first, points.end(), right, after);
    return {qsizetype(first - points.begin()), qsizetype(last - points.begin()), true};
}

QList<QPointF> VisiblePoints(const QList<QPointF>& points, double left, double right, int columns)
{
    const TPointSlice slice = SliceWithin(points, left, right);
    if (!slice.Ascending || (slice.First == 0 && slice.Last == points.size()))
        return DecimateForColumns(points, left, right, columns);
    QList<QPointF> out;
    if (slice.First > 0)
        out.append(points[slice.First - 1]);
    if (DrawnWhole(slice.Count(), left, right, columns)) {
        out.reserve(slice.Count() + 2);
        for (qsizetype i = slice.First; i < slice.Last; ++i)
            out.append(points[i]);
    } else {
        Decimate(points.constData() + slice.First, slice.Count(), left, right, columns, out);
    }
    if (slice.Last < points.size())
        out.append(points[slice.Last]);
    return out;
}
