// The value axis of the chart: round bounds around the values shown.
#pragma once

// An axis from Min to Max in Intervals steps of Step; Min and Max are whole
// multiples of Step, which is 1, 2, 2.5 or 5 times a power of ten.
struct TAxisScale {
    double Min = 0, Max = 1, Step = 1;
    int Intervals = 1;
};

// The tightest such axis of at most maxIntervals steps that holds every value
// from low to high: 997 to 3000 in 5 steps gives 500 to 3000 by 500, never
// a bound beyond zero that the values do not cross.  A single value (low ==
// high) gets a range of its own around it; values that are not finite give
// 0 to 1.
TAxisScale NiceScale(double low, double high, int maxIntervals);
