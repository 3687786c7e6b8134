// The import of the price file (y02rdDat) and the normalisation of closes.
// The whole file is read and every data line checked before anything
// changes; the in-memory price table is then replaced inside one transaction,
// and only when that has succeeded do Data, Idn, IrH, IrL, the settings page
// and the grid take the new rows.  A file that fails leaves all of them as
// they were.
#include "app/BrelvanU.h"
#include "app/Dialogs.h"
#include "app/Errors.h"
#include "db/Data.h"
#include "prices/CatalogueCache.h"
#include "prices/PriceFile.h"
#include "prices/PriceTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>

namespace {

constexpr int kFutureRows = 8;

// One transaction on the in-memory database: the table is emptied and
// refilled inside it, so that a failure leaves the previous rows in place.
class TMemoryTransaction {
public:
    TMemoryTransaction() : fDb(dm->CsqM())
    {
        if (!fDb.transaction())
            throw EDatabaseError(QStringLiteral("データベースエラー: ") + fDb.lastError().text());
    }
    ~TMemoryTransaction()
    {
        if (!fDone)
            fDb.rollback();
    }
    void Commit()
    {
        fDone = true;
        if (!fDb.commit())
            throw EDatabaseError(QStringLiteral("データベースエラー: ") + fDb.lastError().text());
    }
    TMemoryTransaction(const TMemoryTransaction&) = delete;
    TMemoryTransaction& operator=(const TMemoryTransaction&) = delete;

private:
    QSqlDatabase fDb;
    bool fDone = false;
};

QStringList ReadPriceLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを開けません: ") + file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを読めません: ") + file.errorString());
    return SplitPriceLines(DecodePriceText(bytes));
}

}  // namespace

float TBrelvanF::normalize(float s) const { return NormalizePrice(s, IrL, IrH); }

float TBrelvanF::renormalize(float s) const { return RenormalizePrice(s, IrL, IrH); }

void TBrelvanF::y02rdDat()
{
    ShowMessage(ImportNoticeText());
    const QString path = QDir::current().filePath(QString::fromLatin1(kPriceFileName));
    if (!QFileInfo::exists(path)) {
        ShowMessage(PriceFileMissingText());
        return;
    }

    // Read and check everything first: a bad line raises here, before any change.
    TPriceFile file = ParsePriceLines(ReadPriceLines(path));
    const std::int32_t newIdn = std::int32_t(file.Rows.size());
    const TPriceRange range = file.Range;

    std::vector<TData> newData = Data;   // resizing keeps what was there and zero-fills the rest
    newData.resize(std::size_t(file.LineCount) + 10);
    for (std::int32_t i = 1; i <= newIdn; ++i) {
        const TPriceRow& row = file.Rows[std::size_t(i - 1)];
        TData& d = newData[std::size_t(i)];
        d.cnt = i;
        d.dt = row.Day;
        d.EndV = NormalizePrice(row.CloseValue, range.IrL, range.IrH);
    }
    const QString lastDate = file.Rows.back().Date;
    TDateTime future = file.Rows.back().Day + 1;

    // Replace the in-memory table: one insert per row, all in one transaction.
    stdb = QStringLiteral("csqM");
    stnm = QStringLiteral("AYNK");
    {
        TMemoryTransaction transaction;
        const auto execute = [this] {
            uexSqlM();
            if (!LastSqlOk)
                throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + LastSqlError);
        };
        sqw = QStringLiteral("delete from AYNK");
        execute();
        TCatalogueCache insert(*this);
        for (std::int32_t i = 1; i <= newIdn; ++i) {
            const TPriceRow& row = file.Rows[std::size_t(i - 1)];
            sa[11] = QString::number(i);
            sa[12] = row.Date;
            sa[13].clear();
            sa[14] = row.Close;
            sa[15] = row.High;
            sa[16] = row.Low;
            sa[17] = row.Open;
            for (int slot = 18; slot <= 24; ++slot)
                sa[slot].clear();
            insert.Build();
            execute();
        }
        for (int k = 0; k < kFutureRows; ++k) {
            const std::int32_t n = newIdn + k + 1;
            TData& d = newData[std::size_t(n)];
            d.cnt = n;
            d.dt = future;
            sa[11] = QString::number(n);
            sa[12] = DateToStr(future);
            for (int slot = 13; slot <= 24; ++slot)
                sa[slot].clear();
            insert.Build();
            execute();
            future += 1;
        }
        transaction.Commit();
    }
    file = TPriceFile();   // the texts are in the table now; free them before the grid reads it

    // The table holds the new rows: now the rest of the state follows.
    Data = std::move(newData);
    Idn = newIdn;
    IrH = range.IrH;
    IrL = range.IrL;
    c14dnE->setText(QString::number(Idn));
    b01P->SetCaption(TimeIntervalCaption());
    swh.clear();
    uqb(1);
    a02mM->Add(ImportCountLine(Idn));
    a02mM->Add(LastDayLine(lastDate));
    a02mM->Add(TimeFrameLine());
}
