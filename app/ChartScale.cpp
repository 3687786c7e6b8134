#include "app/ChartScale.h"

#include <algorithm>
#include <cmath>

TAxisScale NiceScale(double low, double high, int maxIntervals)
{
    if (!std::isfinite(low) || !std::isfinite(high) || low > high || !std::isfinite(high - low))
        return {};
    maxIntervals = std::max(1, maxIntervals);
    if (low == high) {
        // One value: a span of a hundredth of it (or 1 for zero) either side.
        const double half = low == 0 ? 1 : std::abs(low) * 0.01;
        low -= half;
        high += half;
    }
    // The smallest step 1, 2, 2.5 or 5 times a power of ten that covers the
    // values in at most maxIntervals steps, starting from one at or below the ideal.
    const double ideal = (high - low) / maxIntervals;
    double power = std::pow(10.0, std::floor(std::log10(ideal)));
    for (;;) {
        for (double factor : {1.0, 2.0, 2.5, 5.0}) {
            const double step = factor * power;
            const double min = std::floor(low / step) * step, max = std::ceil(high / step) * step;
            const double intervals = std::round((max - min) / step);
            if (intervals <= maxIntervals)
                return {min, max, step, std::max(1, int(intervals))};
        }
        power *= 10;
    }
}
