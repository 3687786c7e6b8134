#include "app/ChartDecimation.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The points of one pixel column by their index in the series.
struct TColumn {
    qsizetype First = -1, Low = -1, High = -1, Last = -1;

    void Take(const QList<QPointF>& points, qsizetype i)
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
    void Put(const QList<QPointF>& points, QList<QPointF>& out) const
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

}  // namespace

QList<QPointF> DecimateForColumns(const QList<QPointF>& points, double left, double right, int columns)
{
    if (columns <= 0 || !(right > left) || points.size() <= 4 * qsizetype(columns))
        return points;
    const double scale = columns / (right - left);
    QList<QPointF> out;
    out.reserve(4 * qsizetype(columns) + 4);
    TColumn column;
    long current = -1;
    double previousX = -HUGE_VAL;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const double x = points[i].x();
        if (!(x >= previousX))   // descending, or not a number: draw the series as it is
            return points;
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
    return out;
}
