// What a line series draws of a long history: per pixel column of the plot
// only the points that shape the line there.  A line through the kept points
// covers the same pixels as the line through all of them, so a chart of any
// length costs a few points per pixel column to draw.  Zoomed in, only the
// points in view are thinned, for the columns they fill.
#pragma once

#include <QList>
#include <QPointF>

// The points of a series whose X values ascend, for a plot `columns` pixels
// wide that shows X from `left` to `right`: of the points falling into each
// pixel column, the first, the lowest, the highest and the last, in their
// order.  A series of at most 4 points per column, one whose X values do not
// ascend, or a plot without width or range is returned whole.
QList<QPointF> DecimateForColumns(const QList<QPointF>& points, double left, double right, int columns);

// The points of a series with X from `left` to `right`: [First, Last) when
// its X values ascend (Ascending), else every point.
struct TPointSlice {
    qsizetype First = 0, Last = 0;
    bool Ascending = true;
    qsizetype Count() const { return Last - First; }
};
TPointSlice SliceWithin(const QList<QPointF>& points, double left, double right);

// What the plot draws of a series when it shows X from `left` to `right`:
// the points in view thinned for the columns (as DecimateForColumns), and
// the nearest point beyond each end, to which the line runs on out of view.
// A series whose X values do not ascend is drawn whole.
QList<QPointF> VisiblePoints(const QList<QPointF>& points, double left, double right, int columns);
