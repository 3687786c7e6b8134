#include "prices/PriceTexts.h"

QString NotStartedText() { return QStringLiteral("起動処理が完了していません"); }

QString ImportNoticeText() { return QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます"); }
QString PriceFileMissingText() { return QStringLiteral("CSV ﾌｧｲﾙが見つかりませんでした"); }
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
QString WholePeriodStoppedLine(std::int32_t done, std::int32_t rows)
{
    return QStringLiteral("全予測中止: %1/%2行").arg(done).arg(rows);
}
