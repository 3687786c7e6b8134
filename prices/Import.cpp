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
#include <QSqlQuery>

#include <array>

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

// The values of one AYNK row as the import puts them into sa[11] to sa[24].
constexpr int kImportSlots = 14;
using TRowValues = std::array<QString, kImportSlots>;

// Inserts the import's rows through one prepared statement; a row whose
// values only a literal can store (and every row, when the statement cannot
// be prepared or the table has more columns than the import fills) goes
// through the builder's text insert instead, as the rows always did.
class TRowInserter {
public:
    explicit TRowInserter(TBrelvanF& owner) : fOwner(owner), fCache(owner), fQuery(dm->CsqM())
    {
        fPrepared = !fCache.Empty() && fCache.ColumnCount() <= kImportSlots
            && fQuery.prepare(fCache.PlaceholderInsert());
    }

    void Insert(const TRowValues& values)
    {
        if (!fPrepared || !fCache.Bind(fQuery, values.data())) {
            BuildText(values);
            ExecuteText();
            return;
        }
        if (!fQuery.exec())
            throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + ErrorText(fQuery.lastError()));
    }

    // Leaves sqw and the slots as the text insert of the last row left them.
    void Finish(const TRowValues& last)
    {
        fQuery.finish();
        BuildText(last);
    }

private:
    static QString ErrorText(const QSqlError& error)
    {
        return error.databaseText().isEmpty() ? error.text() : error.databaseText();
    }
    void BuildText(const TRowValues& values)
    {
        for (int k = 0; k < kImportSlots; ++k)
            fOwner.sa[11 + k] = values[std::size_t(k)];
        fCache.Build();
    }
    void ExecuteText()
    {
        fOwner.uexSqlM();
        if (!fOwner.LastSqlOk)
            throw EDatabaseError(QStringLiteral("価格テーブルを更新できません: ") + fOwner.LastSqlError);
    }

    TBrelvanF& fOwner;
    TCatalogueCache fCache;
    QSqlQuery fQuery;
    bool fPrepared = false;
};

QString ReadPriceText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを開けません: ") + file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("CSV ﾌｧｲﾙを読めません: ") + file.errorString());
    return DecodePriceText(bytes);
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
    TPriceFile file = ParsePriceText(ReadPriceText(path));
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

    // Replace the in-memory table inside one transaction: one insert
    // prepared once, each row's values bound to it.
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
        TRowInserter inserter(*this);
        TRowValues values;
        for (std::int32_t i = 1; i <= newIdn; ++i) {
            const TPriceRow& row = file.Rows[std::size_t(i - 1)];
            values[0] = QString::number(i);
            values[1] = row.Date;
            values[3] = row.Close;
            values[4] = row.High;
            values[5] = row.Low;
            values[6] = row.Open;
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
