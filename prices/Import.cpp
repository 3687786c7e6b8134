// The import of the price file (y02rdDat) and the normalisation of closes.
// With hold-out days set, the last of the file's rows are held out of the
// training: the normalisation range comes from the rows before them.
// The whole file is read and every data line checked before anything
// changes; the in-memory price table is then replaced inside one transaction,
// and only when that has succeeded do Data, Idn, IrH, IrL, the settings page
// and the grid take the new rows.  A file that fails leaves all of them as
// they were.
#include "prices/BrelvanPrices.h"

#include "base/Errors.h"
#include "base/Messages.h"
#include "base/RegularFile.h"
#include "db/Data.h"
#include "db/PriceTable.h"
#include "db/Transaction.h"
#include "prices/Holdout.h"
#include "prices/PriceFile.h"
#include "prices/PriceTexts.h"
#include "prices/Windows.h"

#include <QDir>

#include <optional>
#include <vector>

namespace {

constexpr int kFutureRows = 8;

// A field of the file's text as a QString without a copy, for binding while
// the file's text lives.
QString Borrowed(QStringView field)
{
    return field.isNull() ? QString() : QString::fromRawData(field.data(), field.size());
}

// The price file's text; only a regular file is read (see ReadRegularFile).
QString ReadPriceText(const QString& path)
{
    QString reason;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, reason);
    if (!bytes)
        throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを開けません: %1 (%2)")
                             .arg(reason, QString::fromLatin1(kPriceFileName)));
    return DecodePriceText(*bytes);
}

}  // namespace

float TBrelvanPrices::normalize(float s) const { return NormalizePrice(s, IrL, IrH); }

float TBrelvanPrices::renormalize(float s) const { return RenormalizePrice(s, IrL, IrH); }

void TBrelvanPrices::y02rdDat()
{
    ShowMessage(ImportNoticeText());
    const QString path = QDir::current().filePath(QString::fromLatin1(kPriceFileName));
    if (PathKindOf(path) == TPathKind::Missing) {
        ShowMessage(PriceFileMissingText(path));
        return;
    }

    // Read and check everything first: a bad line or too many hold-out days
    // raises here, before any change.
    const std::int32_t holdout = HoldoutDaysFromText(Setting(TSetting::VLDN));
    TPriceText file = ParsePriceTextInPlace(ReadPriceText(path));
    const std::int32_t newIdn = std::int32_t(file.Rows.size());
    CheckHoldoutDays(holdout, newIdn, Iil, Iol);
    const TPriceRange range = holdout > 0 ? LeadingRange(file, TrainingRows(newIdn, holdout)) : file.Range;
    const QString lastDate = file.Rows.back().Date.toString();
    THoldout held;
    if (holdout > 0)
        held = {holdout, file.Rows[std::size_t(HoldoutFirstRow(newIdn, holdout) - 1)].Date.toString(), lastDate};
    TDateTime future = file.Rows.back().Day + 1;
    if (future + (kFutureRows - 1) > LastFutureDay())
        throw ERangeError(FutureRowsPastLastDayText(lastDate, kFutureRows));

    std::vector<TData> newData = Data;   // resizing keeps what was there and zero-fills the rest
    newData.resize(std::size_t(file.LineCount) + 10);
    for (std::int32_t i = 1; i <= newIdn; ++i) {
        const TPriceLine& row = file.Rows[std::size_t(i - 1)];
        TData& d = newData[std::size_t(i)];
        d.cnt = i;
        d.dt = row.Day;
        d.EndV = NormalizePrice(row.CloseValue, range.IrL, range.IrH);
        d.Close = ClosePrice(row.Close);
    }

    // Replace the in-memory table inside one transaction: inserts prepared
    // once, the rows' values bound to them.
    stdb = QStringLiteral("csqM");
    stnm = QStringLiteral("AYNK");
    {
        // The table is emptied and refilled inside one transaction, so that
        // a failure leaves the previous rows in place.
        TTransaction transaction(dm->CsqM());
        const auto execute = [this] {
            uexSqlM();
            if (!LastSqlOk)
                throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + LastSqlError);
        };
        sqw = QStringLiteral("delete from AYNK");
        execute();
        TPriceInserter inserter(*this);
        TPriceInserter::TRow values;
        for (std::int32_t i = 1; i <= newIdn; ++i) {
            const TPriceLine& row = file.Rows[std::size_t(i - 1)];
            values[0] = QString::number(i);
            values[1] = Borrowed(row.Date);
            values[3] = Borrowed(row.Close);
            values[4] = Borrowed(row.High);
            values[5] = Borrowed(row.Low);
            values[6] = Borrowed(row.Open);
            inserter.Insert(values);
        }
        for (int slot = 2; slot < TPriceInserter::kColumns; ++slot)
            values[std::size_t(slot)].clear();
        for (int k = 0; k < kFutureRows; ++k) {
            const std::int32_t n = newIdn + k + 1;
            TData& d = newData[std::size_t(n)];
            d.cnt = n;
            d.dt = future;
            values[0] = QString::number(n);
            values[1] = DateToStr(future);
            inserter.Insert(values);
            future += 1;
        }
        inserter.Finish(values);
        transaction.Commit();
    }
    file = TPriceText();   // the texts are in the table now; free them before the grid reads it

    // The table holds the new rows: now the rest of the state follows.
    Data = std::move(newData);
    Idn = newIdn;
    IrH = range.IrH;
    IrL = range.IrL;
    Holdout = held;
    SetSetting(TSetting::DN, QString::number(Idn));
    SetDataCaption(TimeIntervalCaption());
    swh.clear();
    uqb(1);
    AddLogLine(ImportCountLine(Idn));
    AddLogLine(LastDayLine(lastDate));
    AddLogLine(TimeFrameLine());
}
