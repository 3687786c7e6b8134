// The texts the price commands write: log lines, the settings page's fields
// and the update statements of the predictions, each joined from exactly the
// pieces the user and the database see.
#pragma once

#include "base/Convert.h"

#include <QString>
#include <cstdint>
#include <vector>

// A command pressed before the start-up has run to its end.
QString NotStartedText();                      // "起動処理が完了していません"

// ---- Import ------------------------------------------------------------------
QString ImportNoticeText();                    // the notice before the file is read
// No price file in the folder: the notice, the file's full path on a second line.
QString PriceFileMissingText(const QString& path);
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

// ---- The network and its model file --------------------------------------------
QString ModelFileFilter();                                    // "モデルファイル (*.bin)"
// The name a saved model is offered under: "model_0005.bin" for run 5,
// "model.bin" while no run number is shown.
QString SuggestedModelName(const QString& runNumber);
QString ModelSavedLine(const QString& file);                  // "モデル保存: m.bin"
QString ModelLoadedLine(const QString& file, const std::vector<std::int32_t>& layers);   // "モデル読込: m.bin ([7,7,3,2])"
QString NetworkInitialisedLine(const std::vector<std::int32_t>& layers);                 // "ネットワークを初期化しました ([7,7,3,2])"
// The settings page's layer sizes were set to a loaded model's.
QString LayersChangedText(const std::vector<std::int32_t>& layers);
QString ModelNotSavedText(const QString& reason);
// A model was loaded while a seed was set: the seed is taken off the page.
QString SeedClearedForModelText();
QString ModelNotLoadedText(const QString& file, const QString& reason);
// A model file whose network is not of the program's shape.
QString ModelTopologyUnusableText(const std::vector<std::int32_t>& layers);

// ---- Files of the price table and the chart ---------------------------------------
QString CsvFileFilter();                                       // "CSV ファイル (*.csv)"
QString CsvExportedLine(const QString& file, std::int32_t rows);   // "CSV出力: t.csv (5113行)"
QString ChartImageSavedLine(const QString& file);               // "画像保存: chart.png"

// ---- The comparison with the previous close ---------------------------------
// Ratios with "0.000" and shares with "0.0" (a point, whatever the locale);
// "-" where the figure divides by zero.
QString RatioText(double model, double baseline);
QString ShareText(int hits, int days);                        // percent
// "検証期間: 2019/04/23～2020/04/17 (250日)", the dates as the file writes them.
QString HoldoutPeriodLine(const QString& first, const QString& last, std::int32_t days);
// "検証 平均絶対誤差: 予測 12.34 / 前日終値 11.00 / 比 1.122"
QString HoldoutMaeLine(double model, double baseline);
// "検証 二乗平均平方根誤差: 予測 … / 前日終値 … / 比 …"
QString HoldoutRmseLine(double model, double baseline);
// "検証 方向的中率: 51.2%"
QString HoldoutHitLine(int hits, int days);
// "全期間 平均絶対誤差: 予測 … / 前日終値 … / 比 …"
QString WholePeriodMaeLine(double model, double baseline);
// The settings' refusals.
QString HoldoutDaysRefusedText(const QString& text);
QString HoldoutTooLargeText(std::int32_t days, std::int32_t Idn, std::int32_t trainingRows);
QString SeedRefusedText(const QString& text);

QString WholePeriodStoppedLine(std::int32_t done, std::int32_t rows);   // "全予測中止: 5000/199993行"
QString TrainingCountRefusedText(const QString& text);
// An output layer of more neurons than the predictions have columns.
QString OutputsBeyondColumnsText(std::int32_t outputs);
// A typed text longer than its register column: "摘要は 40 文字までです (45 文字あります)".
QString TextTooLongText(const QString& setting, int length, int maxLength);
