#include "prices/PriceTexts.h"

#include "prices/Settings.h"
#include "prices/Topology.h"

#include <QDir>
#include <charconv>
#include <cmath>

QString NotStartedText() { return QStringLiteral("起動処理が完了していません"); }

QString ImportNoticeText() { return QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます"); }
QString PriceFileMissingText(const QString& path)
{
    return QStringLiteral("CSV ﾌｧｲﾙが見つかりませんでした\n") + QDir::toNativeSeparators(QDir::cleanPath(path));
}
QString TimeIntervalCaption() { return QStringLiteral("時間間隔: 日"); }
QString ImportCountLine(std::int32_t Idn) { return QString::number(Idn) + QStringLiteral("件 読込終了"); }
QString LastDayLine(const QString& date) { return QStringLiteral("最終日: ") + date; }
QString TimeFrameLine() { return QStringLiteral("時間枠間隔: 日"); }
TDateTime LastFutureDay() { return StrToDate(QStringLiteral("9999/12/31")); }
QString FutureRowsPastLastDayText(const QString& lastDate, int futureRows)
{
    return QStringLiteral("最終日 %1 の翌日から %2 日分の予測用の行の日付が %3 を超えるため読み込めません")
        .arg(lastDate)
        .arg(futureRows)
        .arg(DateToStr(LastFutureDay()));
}

QString TrainingNoDataText() { return QStringLiteral("データ読込が未済です"); }
QString TrainingStartLine(TDateTime start) { return QStringLiteral("学習開始: ") + TimeToStr(start); }
QString TrainingPassesLine(std::int32_t Ilk)
{
    return QStringLiteral("学習回数: ") + QString::number(Ilk) + QStringLiteral("回");
}
QString TrainingStoppedLine(std::int32_t done, std::int32_t passes)
{
    return QStringLiteral("学習中止: %1/%2回").arg(done).arg(passes);
}
QString TrainingEndLine(TDateTime end) { return QStringLiteral("学習終了: ") + FormatDateTime(QStringLiteral("NN:SS"), end); }
QString TrainingDurationText(TDateTime start, TDateTime end)
{
    return FormatDateTime(QStringLiteral("NN:SS"), end - start);
}
QString TrainingDurationLine(const QString& duration) { return QStringLiteral("学習時間: ") + duration; }
QString TrainingMseLine(const QString& mse) { return QStringLiteral("学習終了 MSE: ") + mse; }
QString MseExplanationLine() { return QStringLiteral("MSE: 平均二乗誤差"); }
QString TrainingStampText(TDateTime now) { return FormatDateTime(QStringLiteral("YYYY/MM/DD HH:NN"), now); }

QString PredictionNoDataText() { return QStringLiteral("ﾃﾞｰﾀ読込が未済です"); }
QString NextDayTooFewRowsText(std::int32_t Idn, std::int32_t needed)
{
    return QStringLiteral("ﾃﾞｰﾀが %1 行しかありません: 予測1 には %2 行以上必要です").arg(Idn).arg(needed);
}
QString ActualCloseLine(const QString& date, float close)
{
    return date + QStringLiteral(" 終値実価格: ") + FormatPrice(close);
}
QString ForecastHeadLine(const QString& date) { return date + QStringLiteral(" 以降の終値予測"); }
QString ForecastLine(const QString& date, float close) { return date + QStringLiteral(" 終値: ") + FormatPrice(close); }
QString WholePeriodLine() { return QStringLiteral("全期間の予測"); }

QString ModelFileFilter() { return QStringLiteral("モデルファイル (*.bin)"); }
QString SuggestedModelName(const QString& runNumber)
{
    bool isNumber = false;
    const int run = runNumber.toInt(&isNumber);
    if (!isNumber || run < 0)
        return QStringLiteral("model.bin");
    return QStringLiteral("model_%1.bin").arg(run, 4, 10, QLatin1Char('0'));
}
QString ModelSavedLine(const QString& file) { return QStringLiteral("モデル保存: ") + QDir::toNativeSeparators(file); }
QString ModelLoadedLine(const QString& file, const std::vector<std::int32_t>& layers)
{
    return QStringLiteral("モデル読込: %1 (%2)").arg(QDir::toNativeSeparators(file), TopologyText(layers));
}
QString NetworkInitialisedLine(const std::vector<std::int32_t>& layers)
{
    return QStringLiteral("ネットワークを初期化しました (%1)").arg(TopologyText(layers));
}
QString LayersChangedText(const std::vector<std::int32_t>& layers)
{
    return QStringLiteral("モデルの層構成 %1 に合わせて、入力層・中間層1・中間層2・出力層の設定を変更しました")
        .arg(TopologyText(layers));
}
QString SeedClearedForModelText()
{
    return QStringLiteral("読み込んだモデルから学習を続けられるよう、乱数シードを空欄にしました");
}
QString ModelNotSavedText(const QString& reason) { return QStringLiteral("モデルを保存できませんでした: ") + reason; }
QString ModelNotLoadedText(const QString& file, const QString& reason)
{
    return QStringLiteral("モデルファイル %1 を読み込めません: %2").arg(QDir::toNativeSeparators(file), reason);
}
QString ModelTopologyUnusableText(const std::vector<std::int32_t>& layers)
{
    // A foreign file may hold thousands of layers: its first few name it.
    constexpr std::size_t shown = 8;
    const QString topology = layers.size() <= shown
        ? TopologyText(layers)
        : TopologyText({layers.begin(), layers.begin() + shown}).chopped(1) + QStringLiteral(",…] (%1 層)").arg(layers.size());
    return QStringLiteral("層構成 %1 のネットワークは使えません (入力層・中間層1・中間層2・出力層の 4 層で、各層 1 から %2 のﾆｭｰﾛﾝ数が必要です)")
        .arg(topology)
        .arg(MaxLayerSize);
}

QString CsvFileFilter() { return QStringLiteral("CSV ファイル (*.csv)"); }
QString CsvExportedLine(const QString& file, std::int32_t rows)
{
    return QStringLiteral("CSV出力: %1 (%2行)").arg(QDir::toNativeSeparators(file)).arg(rows);
}
QString ChartImageSavedLine(const QString& file) { return QStringLiteral("画像保存: ") + QDir::toNativeSeparators(file); }

namespace {

// Fixed point with `decimals` decimals, a point as separator in every locale.
QString Fixed(double value, int decimals)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString ErrorsLine(const QString& head, double model, double baseline)
{
    return head + QStringLiteral("予測 ") + FormatPrice(model) + QStringLiteral(" / 前日終値 ") + FormatPrice(baseline)
         + QStringLiteral(" / 比 ") + RatioText(model, baseline);
}

}  // namespace

QString RatioText(double model, double baseline)
{
    if (baseline == 0 || !std::isfinite(model / baseline))
        return QStringLiteral("-");
    return Fixed(model / baseline, 3);
}

QString ShareText(int hits, int days)
{
    if (days <= 0)
        return QStringLiteral("-");
    return Fixed(100.0 * hits / days, 1);
}

QString HoldoutPeriodLine(const QString& first, const QString& last, std::int32_t days)
{
    return QStringLiteral("検証期間: %1～%2 (%3日)").arg(first, last).arg(days);
}

QString HoldoutMaeLine(double model, double baseline)
{
    return ErrorsLine(QStringLiteral("検証 平均絶対誤差: "), model, baseline);
}

QString HoldoutRmseLine(double model, double baseline)
{
    return ErrorsLine(QStringLiteral("検証 二乗平均平方根誤差: "), model, baseline);
}

QString HoldoutHitLine(int hits, int days) { return QStringLiteral("検証 方向的中率: ") + ShareText(hits, days) + u'%'; }

QString WholePeriodMaeLine(double model, double baseline)
{
    return ErrorsLine(QStringLiteral("全期間 平均絶対誤差: "), model, baseline);
}

QString HoldoutDaysRefusedText(const QString& text)
{
    return QStringLiteral("検証日数 '%1' は 0 から %2 までの整数で指定してください (空欄か 0 なら検証しません)")
        .arg(text)
        .arg(MaxHoldoutDaysSetting);
}

QString HoldoutTooLargeText(std::int32_t days, std::int32_t Idn, std::int32_t trainingRows)
{
    const QString head = QStringLiteral("検証日数 %1 は多すぎます: %2 行のﾃﾞｰﾀで学習に %3 行を残すと、")
                             .arg(days).arg(Idn).arg(trainingRows);
    if (Idn <= trainingRows)
        return head + QStringLiteral("検証日数は指定できません (空欄か 0 にしてください)");
    return head + QStringLiteral("検証日数は %1 日までです").arg(Idn - trainingRows);
}

QString TrainingCountRefusedText(const QString& text)
{
    return QStringLiteral("学習数 '%1' は 0 から %2 までの整数で指定してください (0 なら読込だけで学習しません)")
        .arg(text)
        .arg(MaxTrainingCount);
}

QString OutputsBeyondColumnsText(std::int32_t outputs)
{
    return QStringLiteral("出力層のﾆｭｰﾛﾝ数 %1 のうち、予測の列 (予測1～予測%2) に書かれるのは %2 日分までです。"
                          "%3 日目からの予測は価格表に残りません")
        .arg(outputs)
        .arg(kPredictionColumns)
        .arg(kPredictionColumns + 1);
}

QString TextTooLongText(const QString& setting, int length, int maxLength)
{
    return QStringLiteral("%1は %2 文字までです (%3 文字あります)").arg(setting).arg(maxLength).arg(length);
}

QString SeedRefusedText(const QString& text)
{
    return QStringLiteral("乱数シード '%1' は整数で指定してください (空欄なら時計の値を使います)").arg(text);
}

QString WholePeriodStoppedLine(std::int32_t done, std::int32_t rows)
{
    return QStringLiteral("全予測中止: %1/%2行").arg(done).arg(rows);
}
