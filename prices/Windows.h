// Which elements of Data a window reads and which rows of AYNK its outputs
// reach, for the training run and the two predictions.  A window is named by
// the element it starts at; its inputs are that element and the Iil - 1 after it.
#pragma once

#include <algorithm>
#include <cstdint>

// ---- Training run ----------------------------------------------------------
// Windows per pass: Idn - Iil - Iol - 1 from element 0 (none when that is 0 or less).
inline std::int32_t TrainingWindowCount(std::int32_t Idn, std::int32_t Iil, std::int32_t Iol)
{
    return std::max<std::int32_t>(0, Idn - Iil - Iol - 1);
}
// Element holding target k of the window that starts at i.
inline std::int32_t TrainingTarget(std::int32_t i, std::int32_t Iil, std::int32_t k) { return i + Iil + k; }

// ---- Hold-out ------------------------------------------------------------------
// With the last `holdout` data rows held out, the training run and the
// normalisation range see rows 1 .. Idn - holdout only, as if the file ended
// there: every target of every window it trains on lies before the hold-out.
inline std::int32_t TrainingRows(std::int32_t Idn, std::int32_t holdout) { return Idn - holdout; }
inline std::int32_t HoldoutFirstRow(std::int32_t Idn, std::int32_t holdout) { return Idn - holdout + 1; }
// The window whose output 0 predicts day (row) t: the one of the Iil closes
// before t, as the training run pairs them.
inline std::int32_t SameDayWindow(std::int32_t t, std::int32_t Iil) { return t - Iil; }
// Where both predictions chart the actual close of row n (series 0).
inline double ChartXOfRow(std::int32_t n, std::int32_t Iil) { return double(n) - Iil; }
// The chart's mark of the hold-out: half a position before its first day.
inline double HoldoutMarkX(std::int32_t Idn, std::int32_t holdout, std::int32_t Iil)
{
    return ChartXOfRow(HoldoutFirstRow(Idn, holdout), Iil) - 0.5;
}

// ---- Next-day prediction ("予測1") ----------------------------------------
inline constexpr std::int32_t kNextDayWindows = 20;
// The last twenty windows; the first starts at Idn - Iil - 20.
inline std::int32_t NextDayFirstWindow(std::int32_t Idn, std::int32_t Iil) { return Idn - Iil - kNextDayWindows; }
// Rows needed before the prediction can run: the first window starts at element 0 or later.
inline std::int32_t NextDayRowsNeeded(std::int32_t Iil) { return Iil + kNextDayWindows; }
// Row whose YCLk+1 receives output k of the window that starts at i.
inline std::int32_t NextDayRow(std::int32_t i, std::int32_t Iil, std::int32_t k) { return Iil + i + 1 + k; }
// Chart position of outputs 0 (and the actual close) and 1.
inline double NextDayX(std::int32_t i, std::int32_t k) { return double(i) + 1 + k; }

// ---- Whole-period prediction ("全予測") ------------------------------------
// Windows from element 0 to the last data row: Idn - Iil of them (none when 0 or less).
inline std::int32_t WholePeriodWindowCount(std::int32_t Idn, std::int32_t Iil)
{
    return std::max<std::int32_t>(0, Idn - Iil);
}
// Row whose YCL1 and YCL2 receive outputs 0 and 1 of the window that starts at i.
inline std::int32_t WholePeriodRow(std::int32_t i, std::int32_t Iil) { return Iil + i + 1; }
// Row whose date and close are charted with output k (0 or 1).
inline std::int32_t WholePeriodChartRow(std::int32_t i, std::int32_t Iil, std::int32_t k) { return Iil + i + k; }
inline double WholePeriodX(std::int32_t i, std::int32_t k) { return double(i) + k; }
