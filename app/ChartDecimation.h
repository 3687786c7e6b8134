// What a line series draws of a long history: per pixel column of the plot
// only the points that shape the line there.  A line through the kept points
// covers the same pixels as the line through all of them, so a chart of any
// length costs a few points per pixel column to draw.
#pragma once

#include <QList>
#include <QPointF>

// The points of a series whose X values ascend, for a plot `columns` pixels
// wide that shows X from `left` to `right`: of the points falling into each
// pixel column, the first, the lowest, the highest and the last, in their
// order.  A series of at most 4 points per column, one whose X values do not
// ascend, or a plot without width or range is returned whole.
QList<QPointF> DecimateForColumns(const QList<QPointF>& points, double left, double right, int columns);
