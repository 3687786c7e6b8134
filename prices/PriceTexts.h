// The texts the price commands write: log lines, the settings page's fields
// and the update statements of the predictions, each joined from exactly the
// pieces the user and the database see.
#pragma once

#include "base/Convert.h"

#include <QString>
#include <cstdint>

// A command pressed before the start-up has run to its end.
QString NotStartedText();                      // "起動処理が完了していません"

// ---- Import ------------------------------------------------------------------
QString ImportNoticeText();                    // the notice before the file is read
QString PriceFileMissingText();                // no price file in the folder
QString TimeIntervalCaption();                 // b01P: "時間間隔: 日"
QString ImportCountLine(std::int32_t Idn);     // "5105件 読込終了"
QString LastDayLine(const QString& date);      // "最終日: 2020/04/17"
QString TimeFrameLine();                       // "時間枠間隔: 日"
// The last date a future row may carry, and the refusal of a file whose
// future rows would pass it (their dates are written with four-digit years).
TDateTime LastFutureDay();                     // 9999/12/31
QString FutureRowsPastLastDayText(const QString& lastDate, int futureRows);

// ---- Training run ------------------------------------------------------------
QString TrainingNoDataText();                  // "データ読込が未済です"
QString TrainingStartLine(TDateTime start);    // "学習開始: 9:05:01"
QString TrainingPassesLine(std::int32_t Ilk);  // "学習回数: 400回"
QString TrainingStoppedLine(std::int32_t done, std::int32_t passes);   // "学習中止: 37/400回"
QString TrainingEndLine(TDateTime end);        // "学習終了: 05:07" (minutes and seconds)
// The duration's minutes and seconds ("NN:SS"): whole hours are not shown.
// Both ends are full date-times, so a run past midnight shows its real length.
QString TrainingDurationText(TDateTime start, TDateTime end);
QString TrainingDurationLine(const QString& duration);   // "学習時間: 00:03"
QString TrainingMseLine(const QString& mse);             // "学習終了 MSE: 0.000112763"
QString MseExplanationLine();                            // "MSE: 平均二乗誤差"
QString TrainingStampText(TDateTime now);                // c12dtE: "2026/12/10 03:31"

// ---- Predictions -------------------------------------------------------------
QString PredictionNoDataText();                // "ﾃﾞｰﾀ読込が未済です"
QString NextDayTooFewRowsText(std::int32_t Idn, std::int32_t needed);
inline constexpr char kPricePattern[] = "#0.00";
QString ActualCloseLine(const QString& date, float close);   // "2020/04/17 終値実価格: 2874.56"
QString ForecastHeadLine(const QString& date);                // "2020/04/17 以降の終値予測"
QString ForecastLine(const QString& date, float close);       // "2020/04/18 終値: 2870.12"
QString WholePeriodLine();                                    // "全期間の予測"
QString WholePeriodStoppedLine(std::int32_t done, std::int32_t rows);   // "全予測中止: 5000/199993行"
