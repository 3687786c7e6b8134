// The honest comparison of a training run: the last days of the file held out
// of the training, and the network's predictions of single days measured
// against the plain rule "the next close is the last close", both in price
// units.  Plain functions: the settings' values, the rows held out and the
// error figures.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// ---- Settings ------------------------------------------------------------------
// 検証日数, typed as Settings.h reads it: empty (or blanks only) is 0, no
// hold-out; otherwise a whole number from 0 to MaxHoldoutDaysSetting.
// EConvertError for a text that is no whole number, ERangeError for one out
// of range; both messages name the setting.
std::int32_t HoldoutDaysFromText(const QString& text);
// The most days Idn rows can hold out: Iil + Iol + 20 rows stay for the
// training (0 or less when there are not that many).
std::int32_t MaxHoldoutDays(std::int32_t Idn, std::int32_t Iil, std::int32_t Iol);
// ERangeError (HoldoutTooLargeText) when `days` (not 0) passes MaxHoldoutDays.
void CheckHoldoutDays(std::int32_t days, std::int32_t Idn, std::int32_t Iil, std::int32_t Iol);

// 乱数シード, typed as Settings.h reads it: empty (or blanks only) gives no
// seed (the clock seeds the network); otherwise a whole number in 32 bits,
// signed, which gives the seed its bits.  EConvertError naming the setting
// for anything else.
std::optional<std::uint64_t> SeedFromText(const QString& text);

// ---- Error figures -------------------------------------------------------------
// One predicted day: its close, the close of the data row before it (what the
// baseline predicts) and the network's prediction as written ("#0.00").
struct TDayPrediction {
    double Actual = 0;
    double Previous = 0;
    double Predicted = 0;
};

// Mean absolute and root mean squared errors of the network and of the
// baseline over the days, and on how many of the days whose close changed
// the prediction lay on the side of the previous close the close moved to.
struct TErrorFigures {
    int Days = 0;
    double ModelMae = 0;
    double BaselineMae = 0;
    double ModelRmse = 0;
    double BaselineRmse = 0;
    int ChangedDays = 0;   // days whose close differs from the previous one
    int Hits = 0;          // of those, days the prediction moved the same way
};
TErrorFigures ErrorFigures(const std::vector<TDayPrediction>& days);

// A price as the price table and the log hold it: written with "#0.00" and
// read back, so that figures computed from it are those of the written values.
double WrittenPrice(float price);
