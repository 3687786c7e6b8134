// The import of the price file (y02rdDat) and the normalisation of closes.
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
#include "db/Transaction.h"
#include "prices/CatalogueCache.h"
#include "prices/PriceFile.h"
#include "prices/PriceTexts.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <array>
#include <optional>
#include <vector>

namespace {

constexpr int kFutureRows = 8;

// The values of one AYNK row as the import puts them into sa[11] to sa[24].
constexpr int kImportSlots = 14;
using TRowValues = std::array<QString, kImportSlots>;

// Inserts the import's rows through prepared statements: the rows are
// gathered and written kInsertBatchRows at a time by one multi-row insert,
// and a shorter run (the last rows, or those before a row that needs its
// literal) one row at a time through the one-row insert.  A row whose values
// only a literal can store (and every row, when the statements cannot be
// prepared or the table has more columns than the import fills) goes through
// the builder's text insert instead, as the rows always did, after the rows
// before it.
class TRowInserter {
public:
    explicit TRowInserter(TBrelvanDb& owner) : fOwner(owner), fCache(owner), fOne(dm->CsqM()), fMany(dm->CsqM())
    {
        fPrepared = !fCache.Empty() && fCache.ColumnCount() <= kImportSlots
            && Prepare(fOne, 1) && Prepare(fMany, kInsertBatchRows);
        fPending.reserve(kInsertBatchRows);
    }

    void Insert(const TRowValues& values)
    {
        if (!fPrepared || !fCache.Bindable(values.data())) {
            Flush();
            BuildText(values);
            ExecuteText();
            return;
        }
        fPending.push_back(values);
        if (int(fPending.size()) == kInsertBatchRows)
            Flush();
    }

    // Writes the rows still gathered and leaves sqw and the slots as the
    // text insert of the last row left them.
    void Finish(const TRowValues& last)
    {
        Flush();
        fOne.Query.finish();
        fMany.Query.finish();
        BuildText(last);
    }

private:
    struct TPrepared {
        explicit TPrepared(const QSqlDatabase& db) : Query(db) {}
        QSqlQuery Query;
        std::vector<bool> Nulls;   // where NULL is bound already
    };

    bool Prepare(TPrepared& insert, int rows)
    {
        insert.Query.setForwardOnly(true);
        insert.Nulls.assign(std::size_t(rows * fCache.ColumnCount()), false);
        return insert.Query.prepare(fCache.PlaceholderInsert(rows));
    }

    void Flush()
    {
        if (int(fPending.size()) == kInsertBatchRows) {
            for (int r = 0; r < kInsertBatchRows; ++r)
                fCache.Bind(fMany.Query, fPending[std::size_t(r)].data(), r * fCache.ColumnCount(), fMany.Nulls);
            Execute(fMany.Query);
        } else {
            for (const TRowValues& values : fPending) {
                fCache.Bind(fOne.Query, values.data(), 0, fOne.Nulls);
                Execute(fOne.Query);
            }
        }
        fPending.clear();
    }

    static void Execute(QSqlQuery& query)
    {
        if (!query.exec())
            throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + ErrorText(query.lastError()));
    }
    static QString ErrorText(const QSqlError& error)
    {
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
    // The slots take texts of their own: they outlive the file's text.
    void BuildText(const TRowValues& values)
    {
        for (int k = 0; k < kImportSlots; ++k) {
            const QString& value = values[std::size_t(k)];
            fOwner.sa[11 + k] = value.isNull() ? QString() : QString(value.constData(), value.size());
        }
        fCache.Build();
    }
    void ExecuteText()
    {
        fOwner.uexSqlM();
        if (!fOwner.LastSqlOk)
            throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + fOwner.LastSqlError);
    }

    TBrelvanDb& fOwner;
    TCatalogueCache fCache;
    TPrepared fOne;
    TPrepared fMany;
    std::vector<TRowValues> fPending;   // rows gathered for the next multi-row insert
    bool fPrepared = false;
};

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
        ShowMessage(PriceFileMissingText());
        return;
    }

    // Read and check everything first: a bad line raises here, before any change.
    TPriceText file = ParsePriceTextInPlace(ReadPriceText(path));
    const std::int32_t newIdn = std::int32_t(file.Rows.size());
    const TPriceRange range = file.Range;
    const QString lastDate = file.Rows.back().Date.toString();
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
        TRowInserter inserter(*this);
        TRowValues values;
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
        for (int slot = 2; slot < kImportSlots; ++slot)
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
    SetSetting(TSetting::DN, QString::number(Idn));
    SetDataCaption(TimeIntervalCaption());
    swh.clear();
    uqb(1);
    AddLogLine(ImportCountLine(Idn));
    AddLogLine(LastDayLine(lastDate));
    AddLogLine(TimeFrameLine());
}
