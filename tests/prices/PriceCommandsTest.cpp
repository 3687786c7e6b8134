// The price commands on the real databases in a fresh folder, the window
// stood in for: import, training run and both predictions, with the price
// file written by each test.
#include "ann/LiteralAnn.h"
#include "support/ControllerFixture.h"
#include "support/PriceFiles.h"
#include "support/PriceStandIn.h"

#include "base/ShiftJis.h"
#include "db/Data.h"
#include "db/SqlText.h"
#include "db/CatalogueCache.h"
#include "db/PriceTable.h"
#include "prices/NetworkSteps.h"
#include "prices/PriceFile.h"
#include "prices/PriceTexts.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

const QString kImportNotice = QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます");

class PriceCommandsTest : public ControllerFixture<TPriceStandIn> {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        Create().StartUp();
        ASSERT_EQ(messages, CatalogueMessages());
        messages.clear();
    }

    // The import alone, as "読込学習" starts it; only its notice is shown.
    void Import(const QStringList& data)
    {
        WritePriceFile(data);
        messages.clear();
        form->y02rdDat();
        EXPECT_EQ(messages, QStringList{kImportNotice});
        messages.clear();
    }

    // Every row of the in-memory AYNK in CNT order, NULL as "-".
    QStringList Table() const
    {
        QSqlQuery q(dm->CsqM());
        EXPECT_TRUE(q.exec(QStringLiteral("select * from AYNK order by CNT")));
        QStringList rows;
        while (q.next()) {
            QStringList fields;
            for (int c = 0; c < q.record().count(); ++c)
                fields << (q.isNull(c) ? QStringLiteral("-") : q.value(c).toString());
            rows << fields.join(QLatin1Char('|'));
        }
        return rows;
    }

    QVariant Cell(const QString& column, int cnt) const
    {
        QSqlQuery q(dm->CsqM());
        EXPECT_TRUE(q.exec(QStringLiteral("select %1 from AYNK where CNT = %2").arg(column).arg(cnt)));
        return q.next() ? q.value(0) : QVariant();
    }

    // Rows whose column is not NULL, lowest and highest CNT and count.
    struct TSpan { int first, last, count; };
    TSpan Filled(const QString& column) const
    {
        QSqlQuery q(dm->CsqM());
        EXPECT_TRUE(q.exec(QStringLiteral("select min(CNT), max(CNT), count(*) from AYNK where %1 is not null")
                               .arg(column)));
        EXPECT_TRUE(q.next());
        return {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt()};
    }

    QStringList Log() const { return form->Log; }

    // The network as its model file holds it: every weight, bias and the error tally.
    std::string NetworkImage() const
    {
        const std::string path = PathOf(QStringLiteral("image.ann")).toStdString();
        form->Ann->SaveToFile(path);
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // A clock that moves one second a reading, from the same start each time.
    void SteadyClock()
    {
        auto next = std::make_shared<int>(0);
        form->Clock = [next] { return 46000.5 + (*next)++ / 86400.0; };
    }

    // What a command leaves to look at: the log, the settings page, the chart, the table.
    std::string Outcome() const
    {
        std::string text = Log().join(QLatin1Char('\n')).toStdString();
        for (const auto& [field, value] : form->Settings)
            text += "\n" + std::to_string(int(field)) + "=" + value.toStdString();
        for (const auto& series : form->Chart)
            for (const auto& p : series)
                text += "\n" + std::to_string(p.X) + "," + std::to_string(p.Y) + "," + p.Label.toStdString();
        text += "\n" + Table().join(QLatin1Char('\n')).toStdString();
        for (int slot : {1, 2, 3})
            text += "\n" + form->sa[slot].toStdString();
        return text + "\n" + form->sqw.toStdString() + "|" + form->swh.toStdString();
    }

    void ExpectImportStoresWhatTextInsertsStore(const QStringList& lines);

};

// ---- Import --------------------------------------------------------------------

TEST_F(PriceCommandsTest, ImportFillsDataTableAndLog)
{
    Import(DataLines(30));
    EXPECT_EQ(form->Idn, 30);
    EXPECT_EQ(form->Data.size(), 32u + 10u);
    EXPECT_EQ(form->IrL, 1010);
    EXPECT_EQ(form->IrH, 1310);
    EXPECT_EQ(form->Settings[TSetting::DN], QStringLiteral("30"));
    EXPECT_EQ(form->DataCaption, QStringLiteral("時間間隔: 日"));
    EXPECT_EQ(Log().mid(Log().size() - 3),
              (QStringList{"30件 読込終了", "最終日: 2020/04/17", "時間枠間隔: 日"}));

    const QStringList table = Table();
    ASSERT_EQ(table.size(), 38);
    EXPECT_EQ(table[29], QStringLiteral("30|2020/04/17|-|1,300.25|1,100.00|900.50|1,000.00|-|-|-|-|-|-|-"));
    // Eight calendar days after a Friday: Saturday and Sunday included.
    EXPECT_EQ(table[30], QStringLiteral("31|2020/04/18|-|-|-|-|-|-|-|-|-|-|-|-"));
    EXPECT_EQ(table[31], QStringLiteral("32|2020/04/19|-|-|-|-|-|-|-|-|-|-|-|-"));
    EXPECT_EQ(table[37], QStringLiteral("38|2020/04/25|-|-|-|-|-|-|-|-|-|-|-|-"));
    EXPECT_EQ(DateToStr(form->Data[38].dt), QStringLiteral("2020/04/25"));
    EXPECT_EQ(form->Data[38].cnt, 38);

    EXPECT_EQ(form->Data[0].EndV, 0.0f);                       // element 0 is never written
    EXPECT_FLOAT_EQ(form->Data[1].EndV, 0.25f / 300);
    EXPECT_NEAR(form->renormalize(form->Data[30].EndV), 1300.25f, 1e-3f);
}

TEST_F(PriceCommandsTest, ImportTwiceGivesTheSameTableAndRange)
{
    Import(DataLines(30));
    const QStringList first = Table();
    const auto data = form->Data;
    Import(DataLines(30));
    EXPECT_EQ(Table(), first);
    EXPECT_EQ(form->IrL, 1010);
    EXPECT_EQ(form->IrH, 1310);
    for (std::size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(form->Data[i].EndV, data[i].EndV) << i;
}

TEST_F(PriceCommandsTest, MissingFileSaysSoAndChangesNothing)
{
    form->y02rdDat();
    EXPECT_EQ(messages, (QStringList{kImportNotice, "CSV ﾌｧｲﾙが見つかりませんでした\n"
                          + QDir::toNativeSeparators(QDir(folder.path()).filePath(kPriceFileName))}));
    EXPECT_EQ(form->Idn, 0);
}

// The sample as a Japanese broker's download has it (Shift-JIS, CR LF, quoted
// prices with thousands separators, a Japanese header and trailer): the same
// rows and lines on every system and with any ANSI code page.
TEST_F(PriceCommandsTest, TheSampleImportsTheSameEverywhere)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRELVAN_SAMPLE), QString::fromLatin1(kPriceFileName)));
    form->y02rdDat();
    EXPECT_EQ(messages, QStringList{kImportNotice});
    EXPECT_EQ(form->Idn, 5105);
    EXPECT_EQ(form->IrL, 670);
    EXPECT_EQ(form->IrH, 3390);
    EXPECT_EQ(Log(), (QStringList{"5105件 読込終了", "最終日: 2020/04/17", "時間枠間隔: 日"}));
    const QStringList table = Table();
    ASSERT_EQ(table.size(), 5113);
    EXPECT_EQ(table[0], QStringLiteral("1|2000/01/03|-|1,455.22|1,478.00|1,438.36|1,469.25|-|-|-|-|-|-|-"));
    EXPECT_EQ(table[5104], QStringLiteral("5105|2020/04/17|-|2,874.56|2,879.22|2,830.88|2,842.43|-|-|-|-|-|-|-"));
    EXPECT_EQ(QCryptographicHash::hash(table.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha256)
                  .toHex()
                  .toStdString(),
              "7bd3bd27adf0a1fb376be02e0fdf16a9a08aab20e3bc39180d8232f29206d0f3");
    form->y04Yosok();
    EXPECT_EQ(Log().value(3), QStringLiteral("2020/04/17 終値実価格: 2874.56"));
}

struct BadImportCase {
    const char* name;
    QStringList data;
    QString message;
    // When set, the price file's name is given this instead of the data.
    std::function<bool(const QString& path)> notAFile = nullptr;
    QString holdout = QString();   // the hold-out days set for the import
    bool refusedFirst = false;     // the settings' check refuses it before the import's notice
};

class BadImportTest : public PriceCommandsTest, public ::testing::WithParamInterface<BadImportCase> {};

TEST_P(BadImportTest, LeavesTheEarlierImportIntactAndDoesNotTrain)
{
    Import(DataLines(30));
    const QStringList table = Table();
    const auto data = form->Data;
    const int gridRows = dm->qb.RecordCount();
    const QStringList log = Log();

    if (GetParam().notAFile) {
        ASSERT_TRUE(QFile::remove(QString::fromLatin1(kPriceFileName)));
        ASSERT_TRUE(GetParam().notAFile(QString::fromLatin1(kPriceFileName)));
    } else {
        WritePriceFile(GetParam().data);
    }
    form->Settings[TSetting::VLDN] = GetParam().holdout;
    messages.clear();
    const int errors = UnhandledErrorCount();
    form->ImportAndTrain();   // import, then training: the failed import stops the command

    EXPECT_EQ(UnhandledErrorCount(), errors + 1);
    const QStringList expected = GetParam().refusedFirst ? QStringList{GetParam().message}
                                                         : QStringList{kImportNotice, GetParam().message};
    EXPECT_EQ(messages, expected);
    EXPECT_EQ(Table(), table);
    EXPECT_EQ(form->Idn, 30);
    EXPECT_EQ(form->IrL, 1010);
    EXPECT_EQ(form->IrH, 1310);
    ASSERT_EQ(form->Data.size(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(form->Data[i].EndV, data[i].EndV) << i;
        EXPECT_EQ(form->Data[i].dt, data[i].dt) << i;
    }
    EXPECT_EQ(dm->qb.RecordCount(), gridRows);
    EXPECT_EQ(form->Settings[TSetting::DN], QStringLiteral("30"));
    EXPECT_EQ(Log(), log);   // no import lines, no training lines
}

QStringList WithLine(int index, const QString& line)
{
    QStringList data = DataLines(40);
    data[index] = line;
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadImportTest,
    ::testing::Values(
        BadImportCase{"BadDate", WithLine(35, "2020/02/30,\"1,000.00\",1,1,1"),
                      QStringLiteral("'2020/02/30' は日付ではありません (37行目)")},
        BadImportCase{"BadClose", WithLine(1, "2020/02/03,\"1,0O0.00\",1,1,1"),
                      QStringLiteral("'10O0.00' は浮動小数点数ではありません (3行目)")},
        BadImportCase{"TooFewFields", WithLine(39, "2020/04/17,\"1,000.00\",1,1"),
                      QStringLiteral("項目が 4 個しかありません (5 個必要です) (41行目)")},
        BadImportCase{"EmptyRange", QStringList{"2020/04/16,100,1,1,1", "2020/04/17,100,1,1,1"},
                      QStringLiteral("終値の範囲が空のため正規化できません (下限 = 上限 = 100)")},
        BadImportCase{"NoDataLines", QStringList{},
                      QStringLiteral("CSV ﾌｧｲﾙにﾃﾞｰﾀ行がありません (見出しと末尾の行のほかに行が必要です)")},
        BadImportCase{"FutureRowsPastTheYear9999", QStringList{"9999/12/23,100,1,1,1", "9999/12/24,210,1,1,1"},
                      QStringLiteral("最終日 9999/12/24 の翌日から 8 日分の予測用の行の日付が 9999/12/31 を超えるため"
                                     "読み込めません")},
        BadImportCase{"PriceFileIsADirectory", {},
                      QStringLiteral("CSV ﾌｧｲﾙを開けません: 通常のファイルではなくディレクトリです "
                                     "(tarvok_stock_average_daily_jp.csv)"),
                      [](const QString& p) { return QDir().mkdir(p); }}),
    [](const auto& info) { return std::string(info.param.name); });

#ifndef Q_OS_WIN
// A FIFO and a device under the file's name (Windows has neither in a folder).
INSTANTIATE_TEST_SUITE_P(
    Posix, BadImportTest,
    ::testing::Values(
        BadImportCase{"PriceFileIsAFifo", {},
                      QStringLiteral("CSV ﾌｧｲﾙを開けません: 通常のファイルではなく名前付きパイプ (FIFO) です "
                                     "(tarvok_stock_average_daily_jp.csv)"),
                      [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
        BadImportCase{"PriceFileIsADevice", {},
                      QStringLiteral("CSV ﾌｧｲﾙを開けません: 通常のファイルではなくデバイスです "
                                     "(tarvok_stock_average_daily_jp.csv)"),
                      [](const QString& p) { return QFile::link("/dev/zero", p); }},
        // Hold-out days that the file cannot give or that are no number of days.
        BadImportCase{"TooManyHoldoutDays", DataLines(40),
                      QStringLiteral("検証日数 12 は多すぎます: 40 行のﾃﾞｰﾀで学習に 29 行を残すと、検証日数は 11 日までです"),
                      nullptr, QStringLiteral("12")},
        BadImportCase{"HoldoutDaysOnTooFewRows", DataLines(29),
                      QStringLiteral("検証日数 1 は多すぎます: 29 行のﾃﾞｰﾀで学習に 29 行を残すと、検証日数は指定できません "
                                     "(空欄か 0 にしてください)"),
                      nullptr, QStringLiteral("1")},
        BadImportCase{"HoldoutDaysNotANumber", DataLines(40),
                      QStringLiteral("検証日数 '1O' は 0 から 99999999 までの整数で指定してください (空欄か 0 なら検証しません)"), nullptr,
                      QStringLiteral("1O"), true},
        BadImportCase{"NegativeHoldoutDays", DataLines(40),
                      QStringLiteral("検証日数 '-3' は 0 から 99999999 までの整数で指定してください (空欄か 0 なら検証しません)"), nullptr,
                      QStringLiteral("-3"), true},
        BadImportCase{"NoRangeBeforeTheHoldout",
                      [] {
                          QStringList lines = DataLines(40);
                          for (int i = 0; i < 29; ++i)
                              lines[i] = lines[i].section(QLatin1Char(','), 0, 0) + QStringLiteral(",1100,1,1,1");
                          return lines;
                      }(),
                      QStringLiteral("終値の範囲が空のため正規化できません (下限 = 上限 = 1100)"), nullptr,
                      QStringLiteral("11")}),
    [](const auto& info) { return std::string(info.param.name); });
#endif

// The last file the future rows fit: its eighth future row is 9999/12/31.
TEST_F(PriceCommandsTest, FutureRowsUpToTheLastDate)
{
    Import({"9999/12/22,100,1,1,1", "9999/12/23,210,1,1,1"});
    EXPECT_EQ(form->Idn, 2);
    const QStringList table = Table();
    ASSERT_EQ(table.size(), 10);
    EXPECT_TRUE(table.last().startsWith(QStringLiteral("10|9999/12/31|"))) << table.last().toStdString();
}

TEST_F(PriceCommandsTest, CachedInsertWritesWhatTheBuilderWrites)
{
    const QStringList row{"42", "2020/04/17", "", "1,234.50", "O'Neil", QString(60, QLatin1Char('x')), "", "", "",
                          "", "", "", "", "remark"};
    for (const char* table : {"AYNK", "AYFS"}) {
        const auto fill = [&] {
            for (int k = 1; k <= 14; ++k)
                form->sa[10 + k] = row[k - 1];
        };
        // What an insert leaves: the statement, the values, the last column's
        // type and literal, and every value slot replaced by its literal.
        const auto outcome = [&] {
            QStringList texts{form->sqw, form->sa[1], form->sa[7], form->sa[9]};
            for (int slot = 11; slot <= 24; ++slot)
                texts << form->sa[slot];
            return texts.join(QLatin1Char('|')).toStdString();
        };
        form->stnm = QString::fromLatin1(table);
        fill();
        form->ucSql(2);
        const std::string built = outcome();

        for (int slot = 1; slot <= 24; ++slot)
            form->sa[slot].clear();
        fill();
        TCatalogueCache cache(*form);
        cache.Build();
        EXPECT_EQ(outcome(), built) << table;
    }
}

// Every column of every AYNK row in insertion order, each value with its
// SQLite storage class: what was stored and how.
QStringList StoredWithTypes()
{
    QSqlQuery columns(dm->CsqM());
    EXPECT_TRUE(columns.exec(QStringLiteral("select * from AYNK limit 0")));
    QStringList select;
    for (int c = 0; c < columns.record().count(); ++c)
        select << QStringLiteral("typeof(%1), quote(%1)").arg(columns.record().fieldName(c));
    QSqlQuery q(dm->CsqM());
    EXPECT_TRUE(q.exec(QStringLiteral("select ") + select.join(QStringLiteral(", "))
                       + QStringLiteral(" from AYNK order by rowid")));
    QStringList rows;
    while (q.next()) {
        QStringList fields;
        for (int c = 0; c < q.record().count(); ++c)
            fields << q.value(c).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

// Imports the lines, then writes the same rows one text insert at a time
// through the builder: both must store the same values with the same storage
// classes and leave the statement and value slots alike.
void PriceCommandsTest::ExpectImportStoresWhatTextInsertsStore(const QStringList& lines)
{
    Import(lines);
    TPriceStandIn& form = *this->form;
    const QStringList imported = StoredWithTypes();
    QStringList left;
    for (int slot : {1, 7, 9})
        left << form.sa[slot];
    for (int slot = 11; slot <= 24; ++slot)
        left << form.sa[slot];

    form.stdb = QStringLiteral("csqM");
    form.stnm = QStringLiteral("AYNK");
    form.sqw = QStringLiteral("delete from AYNK");
    form.uexSqlM();
    ASSERT_TRUE(form.LastSqlOk);
    const auto insert = [&](const QStringList& values) {
        for (int k = 1; k <= 14; ++k)
            form.sa[10 + k] = values.value(k - 1);
        form.ucSql(2);
        form.uexSqlM();
        ASSERT_TRUE(form.LastSqlOk) << form.sqw.toStdString();
    };
    int cnt = 1;
    for (const QString& line : lines) {
        const QStringList f = SplitPriceFields(line);
        insert({QString::number(cnt++), f[0], "", f[1], f[3], f[4], f[2]});
    }
    for (int k = 0; k < 8; ++k)
        insert({QString::number(cnt++), QDate(2020, 4, 18).addDays(k).toString(QStringLiteral("yyyy/MM/dd"))});
    QStringList built;
    for (int slot : {1, 7, 9})
        built << form.sa[slot];
    for (int slot = 11; slot <= 24; ++slot)
        built << form.sa[slot];

    EXPECT_EQ(imported, StoredWithTypes());
    EXPECT_EQ(left, built);
    EXPECT_EQ(imported.value(0).left(12), QStringLiteral("integer|1|te"));   // CNT stored as an integer
}

TEST_F(PriceCommandsTest, ImportStoresWhatTheTextInsertsStore)
{
    // Quotes, commas, blanks, an over-long text, empty fields and half-width
    // katakana in the stored text columns; some of these rows in the first
    // multi-row insert, the others among the rows written one at a time.
    QStringList lines{
        "2020/04/13,\"1,010.00\",O'Neil,\"a,b\"\"c\", 7",
        "2020/04/14,1020,,\"1234567890123456\",ｶﾀｶﾅ",
        "2020/04/15,\"1,030.5\",'; drop table AYNK; --,x,",
    };
    lines += DataLines(kInsertBatchRows);
    lines += QStringList{
        "2020/4/16,1035,\"\",'',\"\"\"\"",
        "2020/04/17,1040,1,2,3,extra",
    };
    ExpectImportStoresWhatTextInsertsStore(lines);
}

TEST_F(PriceCommandsTest, RowsThatOnlyALiteralStoresKeepTheirPlace)
{
    // With CLOSE catalogued as an integer column, a close with a fraction can
    // only be written as its literal: such rows fall between bound ones, in a
    // multi-row insert's run and among the last rows.
    QSqlQuery update(dm->Csq());
    ASSERT_TRUE(update.exec(QStringLiteral("update AAATST set KT = 'Integer' where CNAM = 'CLOSE' and TBID = "
                                           "(select TBID from AAATBN where TNAM = 'AYNK')")));
    ASSERT_EQ(update.numRowsAffected(), 1);
    QStringList lines;
    for (int i = 0; i < kInsertBatchRows + 10; ++i) {
        const QString close = i % 7 == 3 ? QStringLiteral("%1.5").arg(1000 + i) : QString::number(1000 + i);
        lines << kLastDay.addDays(i - (kInsertBatchRows + 9)).toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(',')
                     + close + QStringLiteral(",1,2,3");
    }
    ExpectImportStoresWhatTextInsertsStore(lines);
}

// ---- Training run ------------------------------------------------------------------

TDateTime At(int y, int m, int d, int hh, int nn, int ss)
{
    return double(QDate(1899, 12, 30).daysTo(QDate(y, m, d))) + QTime(hh, nn, ss).msecsSinceStartOfDay() / 86400000.0;
}

TEST_F(PriceCommandsTest, TrainingRunLogsSixLinesAcrossMidnight)
{
    const TDateTime times[] = {At(2026, 12, 10, 23, 59, 50), At(2026, 12, 10, 23, 59, 51),
                               At(2026, 12, 11, 0, 1, 5)};
    int next = 0;
    form->Clock = [&] { return times[std::min(next++, 2)]; };
    WritePriceFile(DataLines(12));   // 2 windows per pass
    form->Settings[TSetting::LNN] = QStringLiteral("3");
    form->ImportAndTrain();
    EXPECT_EQ(messages, QStringList{kImportNotice});

    const QStringList log = Log();
    ASSERT_GE(log.size(), 6);
    const QString mse = FormatMse(form->Ann->GetMSE());
    EXPECT_EQ(log.mid(log.size() - 6),
              (QStringList{"学習開始: 23:59:50", "学習回数: 3回", "学習終了: 01:05", "学習時間: 01:15",
                           "学習終了 MSE: " + mse, "MSE: 平均二乗誤差"}));
    EXPECT_NE(form->Ann->GetMSE(), 0.0f);   // 6 training steps ran
    EXPECT_EQ(form->Ilk, 3);
    EXPECT_EQ(form->Settings[TSetting::DT], QStringLiteral("2026/12/10 23:59"));
    EXPECT_EQ(form->Settings[TSetting::TF], QStringLiteral("0"));
    EXPECT_EQ(form->Settings[TSetting::LNTM], QStringLiteral("01:15"));
    EXPECT_EQ(form->Settings[TSetting::MSE], mse);
}

TEST_F(PriceCommandsTest, TrainingWithTooFewRowsOrNoPassesRunsNoStep)
{
    for (const auto& [rows, passes] : {std::pair{10, "5"}, std::pair{40, "0"}}) {
        WritePriceFile(DataLines(rows));
        form->Settings[TSetting::LNN] = QString::fromLatin1(passes);
        form->ImportAndTrain();
        EXPECT_EQ(Log().last(), QStringLiteral("MSE: 平均二乗誤差"));
        EXPECT_EQ(form->Settings[TSetting::MSE], QStringLiteral("0.000000000")) << rows;
    }
}

TEST_F(PriceCommandsTest, TrainingBeforeImportSaysNoData)
{
    form->y03lean();
    EXPECT_EQ(messages, QStringList{QStringLiteral("データ読込が未済です")});
    form->Settings[TSetting::LNN] = QStringLiteral("x");
    EXPECT_TRUE(Log().isEmpty() || !Log().last().startsWith(QStringLiteral("学習")));
}

// The run in its three steps, the passes on a thread of their own as the
// window runs them, gives what the run on one thread gives, bit for bit, and
// both what the plain implementation of the network learns from the windows.
TEST_F(PriceCommandsTest, TrainingInStepsOnAThreadIsTheRunOnOneThread)
{
    Import(DataLines(60));
    form->Settings[TSetting::LNN] = QStringLiteral("7");
    const TRavoAnn fresh = *form->Ann;
    const std::string start = NetworkImage();
    SteadyClock();
    form->y03lean();
    const std::string network = NetworkImage();
    const std::string outcome = Outcome();

    // Windows 0 .. 60 - 7 - 2 - 2: the closes from element i on, and the two after them.
    TLiteralAnn literal(std::vector<unsigned char>(start.begin(), start.end()));
    std::vector<float> in(7), out(2);
    for (int pass = 0; pass < 7; ++pass) {
        for (int i = 0; i <= 49; ++i) {
            for (int j = 0; j < 7; ++j)
                in[std::size_t(j)] = form->Data[std::size_t(i + j)].EndV;
            for (int k = 0; k < 2; ++k)
                out[std::size_t(k)] = form->Data[std::size_t(i + 7 + k)].EndV;
            literal.Train(in, out);
        }
    }
    const std::vector<unsigned char> learnt = literal.Image();
    EXPECT_EQ(network, std::string(learnt.begin(), learnt.end()));

    *form->Ann = fresh;
    form->Log = form->Log.mid(0, 3);   // the import's lines stay
    SteadyClock();
    std::optional<TTrainingRun> run = form->y03leanOpen();
    ASSERT_TRUE(run);
    std::vector<std::int64_t> reported;
    std::atomic<bool> stop{false};
    TStepControl control{&stop, [&](std::int64_t done, std::int64_t total) {
                             EXPECT_EQ(total, 7);
                             reported.push_back(done);
                         }};
    std::thread worker([&] {
        run->PassesDone = TrainPasses(*form->Ann, form->Data, form->Iil, form->Iol, run->Windows, run->Passes, control);
    });
    worker.join();
    form->y03leanClose(*run);
    EXPECT_EQ(reported, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(NetworkImage(), network);
    EXPECT_EQ(Outcome(), outcome);
}

// Stopped after k passes: the log says so before the end lines, the network
// keeps what the k passes taught it, and the settings page shows the run.
TEST_F(PriceCommandsTest, StoppedTrainingEndsWithThePassesDone)
{
    Import(DataLines(60));
    const TRavoAnn fresh = *form->Ann;
    form->Settings[TSetting::LNN] = QStringLiteral("3");
    form->y03lean();
    const std::string threePasses = NetworkImage();
    const QString mse = FormatMse(form->Ann->GetMSE());

    *form->Ann = fresh;
    form->Log.clear();
    form->Settings[TSetting::LNN] = QStringLiteral("400");
    std::optional<TTrainingRun> run = form->y03leanOpen();
    ASSERT_TRUE(run);
    std::atomic<bool> stop{false};
    run->PassesDone = TrainPasses(*form->Ann, form->Data, form->Iil, form->Iol, run->Windows, run->Passes,
                                  {&stop, [&](std::int64_t done, std::int64_t) { stop = done == 3; }});
    EXPECT_EQ(run->PassesDone, 3);
    form->y03leanClose(*run);
    EXPECT_EQ(NetworkImage(), threePasses);
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 7);
    EXPECT_EQ(log.mid(1, 2), (QStringList{"学習回数: 400回", "学習中止: 3/400回"}));
    EXPECT_TRUE(log[3].startsWith(QStringLiteral("学習終了: ")));
    EXPECT_EQ(log.mid(5), (QStringList{"学習終了 MSE: " + mse, "MSE: 平均二乗誤差"}));
    EXPECT_EQ(form->Settings[TSetting::LNN], QStringLiteral("3"));
    EXPECT_EQ(form->Settings[TSetting::MSE], mse);
    EXPECT_FALSE(form->Settings[TSetting::LNTM].isEmpty());

    // A stop asked for before the first pass: none is done.
    *form->Ann = fresh;
    stop = true;
    EXPECT_EQ(TrainPasses(*form->Ann, form->Data, form->Iil, form->Iol, run->Windows, 5, {&stop, {}}), 0);
    EXPECT_EQ(form->Ann->TrainCount(), 0);
}

// ---- Predictions ---------------------------------------------------------------------

TEST_F(PriceCommandsTest, NextDayPredictionWritesRowsChartAndLog)
{
    Import(DataLines(100));
    form->y04Yosok();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();

    const auto ycl1 = Filled(QStringLiteral("YCL1"));
    EXPECT_EQ(ycl1.first, 81);
    EXPECT_EQ(ycl1.last, 100);
    EXPECT_EQ(ycl1.count, 20);
    const auto ycl2 = Filled(QStringLiteral("YCL2"));
    EXPECT_EQ(ycl2.first, 82);
    EXPECT_EQ(ycl2.last, 101);
    EXPECT_EQ(Filled(QStringLiteral("YCL3")).count, 0);

    const auto& chart = form->Chart;
    for (int s = 0; s < 3; ++s)
        ASSERT_EQ(chart[std::size_t(s)].size(), 20u);
    EXPECT_EQ(chart[0][0].X, 74.0);
    EXPECT_EQ(chart[1][19].X, 93.0);
    EXPECT_EQ(chart[2][0].X, 75.0);
    EXPECT_EQ(chart[2][19].X, 94.0);
    EXPECT_EQ(chart[0][19].Label, QStringLiteral("2020/04/17"));
    EXPECT_EQ(chart[2][19].Label, QStringLiteral("2020/04/18"));
    EXPECT_NEAR(chart[0][19].Y, 1000.25, 1e-3);

    const float pre1 = float(chart[1][19].Y);
    const float pre2 = float(chart[2][19].Y);
    const QStringList log = Log();
    EXPECT_EQ(log.mid(log.size() - 4),
              (QStringList{QStringLiteral("2020/04/17 終値実価格: 1000.25"), "2020/04/17 以降の終値予測",
                           "2020/04/17 終値: " + FormatPrice(pre1), "2020/04/18 終値: " + FormatPrice(pre2)}));
    EXPECT_EQ(Cell(QStringLiteral("YCL1"), 100).toDouble(), FormatPrice(pre1).toDouble());
    EXPECT_EQ(Cell(QStringLiteral("YCL2"), 101).toDouble(), FormatPrice(pre2).toDouble());
}

TEST_F(PriceCommandsTest, WholePeriodWritesEveryRowAndAgreesOnYcl1)
{
    Import(DataLines(100));
    form->y04Yosok();
    QStringList nextDayYcl1;
    for (int row = 81; row <= 100; ++row)
        nextDayYcl1 << Cell(QStringLiteral("YCL1"), row).toString();

    form->y05znYos();
    EXPECT_TRUE(messages.isEmpty());
    const auto ycl1 = Filled(QStringLiteral("YCL1"));
    EXPECT_EQ(ycl1.first, 8);
    EXPECT_EQ(ycl1.last, 100);
    EXPECT_EQ(ycl1.count, 93);
    const auto ycl2 = Filled(QStringLiteral("YCL2"));
    EXPECT_EQ(ycl2.first, 8);
    EXPECT_EQ(ycl2.last, 101);   // row 101 keeps what "予測1" wrote there
    for (int row = 81; row <= 100; ++row)
        EXPECT_EQ(Cell(QStringLiteral("YCL1"), row).toString(), nextDayYcl1[row - 81]) << row;

    const auto& chart = form->Chart;
    for (int s = 0; s < 3; ++s)
        ASSERT_EQ(chart[std::size_t(s)].size(), 93u);
    EXPECT_EQ(chart[0][0].X, 0.0);
    EXPECT_EQ(chart[0][0].Label, DateToStr(form->Data[7].dt));
    EXPECT_EQ(chart[2][92].X, 93.0);
    EXPECT_EQ(chart[2][92].Label, QStringLiteral("2020/04/17"));
    EXPECT_EQ(Log()[Log().size() - 2], QStringLiteral("全期間の予測"));
}

// The outputs on a thread of their own and the rows written a few windows at
// a time, as the window does it, give what the command at once gives.
TEST_F(PriceCommandsTest, WholePeriodInStepsIsThePredictionAtOnce)
{
    Import(DataLines(100));
    const qsizetype imported = form->Log.size();
    form->y05znYos();
    const std::string atOnce = Outcome();
    const int shown = form->ChartShown;

    for (std::int32_t block : {1, 7, 93, 1000}) {
        SCOPED_TRACE(block);
        form->Log = form->Log.mid(0, imported);   // the lines 全予測 adds come again
        QSqlQuery clear(dm->CsqM());
        ASSERT_TRUE(clear.exec(QStringLiteral("update AYNK set YCL1 = NULL, YCL2 = NULL")));
        TWholePeriodRun run = form->y05znYosOpen();
        std::thread worker([&] { run.Outputs = WholePeriodOutputs(*form->Ann, form->Data, form->Iil, form->Iol, run.Windows); });
        worker.join();
        ASSERT_EQ(run.Outputs.Done, 93);
        while (form->y05znYosWrite(run, block)) {
        }
        form->y05znYosClose(run);
        EXPECT_EQ(Outcome(), atOnce);
    }
    EXPECT_EQ(form->ChartShown, shown + 4);
}

// Stopped early: the rows and points of the windows done are written, the
// log says how far it came, and the grid shows the table.
TEST_F(PriceCommandsTest, StoppedWholePeriodKeepsTheRowsWritten)
{
    Import(DataLines(100));
    TWholePeriodRun run = form->y05znYosOpen();
    run.Outputs = WholePeriodOutputs(*form->Ann, form->Data, form->Iil, form->Iol, run.Windows);
    EXPECT_TRUE(form->y05znYosWrite(run, 40));
    form->y05znYosClose(run);
    // The comparison with the previous close covers the days written.
    ASSERT_GE(Log().size(), 3);
    EXPECT_EQ(Log().mid(Log().size() - 3, 2), (QStringList{"全予測中止: 40/93行", "全期間の予測"}));
    EXPECT_TRUE(Log().last().startsWith(QStringLiteral("全期間 平均絶対誤差: "))) << Log().last().toStdString();
    const auto ycl1 = Filled(QStringLiteral("YCL1"));
    EXPECT_EQ(ycl1.first, 8);
    EXPECT_EQ(ycl1.last, 47);
    EXPECT_EQ(form->Chart[0].size(), 40u);
    EXPECT_EQ(dm->qb.RecordCount(), 108);

    // The network's share stopped before its first block runs no window.
    std::atomic<bool> stop{true};
    EXPECT_EQ(WholePeriodOutputs(*form->Ann, form->Data, form->Iil, form->Iol, 93, {&stop, {}}).Done, 0);
}

TEST_F(PriceCommandsTest, WholePeriodStoresWhatTheTextUpdatesStore)
{
    // Closes on both sides of zero, so that predictions of either sign are
    // stored; three blocks of rows and a shorter run after them.
    QStringList lines;
    const int n = 3 * kUpdateBatchRows + 20;
    for (int i = 0; i < n; ++i)
        lines << kLastDay.addDays(i - (n - 1)).toString(QStringLiteral("yyyy/MM/dd")) + QLatin1Char(',')
                     + QString::number(-50 + (i * 37) % 81) + QStringLiteral(".25,1,2,3");
    Import(lines);
    form->y05znYos();
    const QStringList predicted = StoredWithTypes();
    const QStringList texts{form->sa[1], form->sa[2], form->sa[3]};

    // The same rows written one text update at a time.
    QSqlQuery clear(dm->CsqM());
    ASSERT_TRUE(clear.exec(QStringLiteral("update AYNK set YCL1 = NULL, YCL2 = NULL")));
    std::vector<float> ip(std::size_t(form->Iil));
    std::vector<float> op;
    bool negative = false;
    for (int i = 0; i < form->Idn - form->Iil; ++i) {
        for (int j = 0; j < form->Iil; ++j)
            ip[std::size_t(j)] = form->Data[std::size_t(i + j)].EndV;
        form->Ann->Run(ip, op);
        ASSERT_GE(op.size(), 2u);
        const float pre1 = form->renormalize(op[0]);
        const float pre2 = form->renormalize(op[1]);
        negative = negative || pre1 < 0 || pre2 < 0;
        form->sqw = SqlText::UpdateText(SqlText::YclPiece(1, pre1) + QStringLiteral(", ") + SqlText::YclPiece(2, pre2),
                                        SqlText::WhereCnt(form->Iil + i + 1));
        form->uexSqlM();
        ASSERT_TRUE(form->LastSqlOk) << form->sqw.toStdString();
    }
    EXPECT_TRUE(negative);
    EXPECT_EQ(predicted, StoredWithTypes());
    EXPECT_EQ(texts, (QStringList{form->sa[1], form->sa[2], QString::fromLatin1(kPricePattern)}));
}

// A row the database refuses is refused alone, as it is on its own: the
// rows written with it in one statement, and those written before it in
// the same transaction, stay written, whether the refusal ends only its
// statement (ABORT) or the whole transaction (ROLLBACK).
TEST_F(PriceCommandsTest, WholePeriodRowRefusedAloneInItsBlock)
{
    for (const char* how : {"abort", "rollback"}) {
        SCOPED_TRACE(how);
        Import(DataLines(200));
        QSqlQuery trigger(dm->CsqM());
        ASSERT_TRUE(trigger.exec(QStringLiteral("create trigger refuse70 before update on AYNK when new.CNT = 70 "
                                                "begin select raise(%1, 'row 70 refused'); end")
                                     .arg(QLatin1String(how))));
        form->y05znYos();
        EXPECT_TRUE(messages.isEmpty());
        const auto ycl1 = Filled(QStringLiteral("YCL1"));
        EXPECT_EQ(ycl1.first, 8);
        EXPECT_EQ(ycl1.last, 200);
        EXPECT_EQ(ycl1.count, 193 - 1);
        EXPECT_TRUE(Cell(QStringLiteral("YCL1"), 70).isNull());
        EXPECT_FALSE(Cell(QStringLiteral("YCL1"), 69).isNull());
        ASSERT_TRUE(trigger.exec(QStringLiteral("drop trigger refuse70")));
    }
}

TEST_F(PriceCommandsTest, PriceTextCastToRealIsWhatItsLiteralIs)
{
    for (const char* text : {"0.00", "0.01", "-0.01", "-12.50", "123.45", "0.10", "1.005", "99999999.99",
                             "-340282346638528859811704183484516925440.00", "9007199254740993.00"}) {
        QSqlQuery q(dm->CsqM());
        ASSERT_TRUE(q.exec(QStringLiteral("select quote(%1), quote(cast('%1' as real))").arg(text)));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), q.value(1).toString()) << text;
    }
}

TEST_F(PriceCommandsTest, UpdatesFindTheirRowThroughTheIndex)
{
    Import(DataLines(30));
    QSqlQuery q(dm->CsqM());
    ASSERT_TRUE(q.exec(QStringLiteral("explain query plan update AYNK set YCL1 = 1 where cnt = 5")));
    QString plan;
    while (q.next())
        plan += q.value(3).toString();
    EXPECT_TRUE(plan.contains(QStringLiteral("INDEX"))) << plan.toStdString();
}

TEST_F(PriceCommandsTest, NextDayWithTooFewRowsSaysSoBeforeClearingTheChart)
{
    Import(DataLines(100));
    form->y05znYos();
    Import(DataLines(26));   // needs 7 + 20
    messages.clear();
    form->y04Yosok();
    EXPECT_EQ(messages, QStringList{QStringLiteral("ﾃﾞｰﾀが 26 行しかありません: 予測1 には 27 行以上必要です")});
    EXPECT_EQ(form->Chart[0].size(), 93u);
}

TEST_F(PriceCommandsTest, PredictionsBeforeImport)
{
    form->y04Yosok();
    EXPECT_EQ(messages, QStringList{QStringLiteral("ﾃﾞｰﾀ読込が未済です")});
    messages.clear();
    form->y05znYos();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Log().last(), QStringLiteral("全期間の予測"));
    EXPECT_EQ(form->Chart[0].size(), 0u);
}

TEST_F(PriceCommandsTest, OneOutputNetworkPredictsWithOutputZeroOnly)
{
    form->Iol = 1;
    form->Layers = {7, 7, 3, 1};
    form->Ann = std::make_unique<TRavoAnn>(form->Layers, 0.005f, TRavoActivationFunc::Sigmoid);
    Import(DataLines(100));
    form->y04Yosok();
    form->y05znYos();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Filled(QStringLiteral("YCL1")).count, 93);
    EXPECT_EQ(Filled(QStringLiteral("YCL2")).count, 0);
    EXPECT_EQ(form->Chart[1].size(), 93u);
    EXPECT_EQ(form->Chart[2].size(), 0u);
}


// ---- Hold-out, seed and the comparison with the previous close ----------------

// Data lines with these closes, one calendar day each up to kLastDay, the
// dates written as some files write them: month and day without a leading zero.
QStringList LinesWithCloses(const std::vector<double>& closes)
{
    QStringList lines;
    const int n = int(closes.size());
    for (int i = 0; i < n; ++i)
        lines << kLastDay.addDays(i + 1 - n).toString(QStringLiteral("yyyy/M/d")) + QLatin1Char(',')
                     + QString::number(closes[std::size_t(i)], 'f', 2) + QStringLiteral(",1,2,3");
    return lines;
}

// 40 rows: 1005, 1010 … 1180 for rows 1 to 36, then 1190, 1170, 1170, 1200.
// Held out four days, the previous close misses by 10, 20, 0 and 30: mean
// 15, root mean square √350 = 18.708; the close changes on three of them.
std::vector<double> FortyCloses()
{
    std::vector<double> closes;
    for (int i = 1; i <= 36; ++i)
        closes.push_back(1000 + 5 * i);
    for (double c : {1190, 1170, 1170, 1200})
        closes.push_back(c);
    return closes;
}

// Every weight and bias of a network, as bits.
std::vector<std::uint32_t> Bits(const TRavoAnn& ann)
{
    std::vector<std::uint32_t> bits;
    const auto add = [&](float value) {
        std::uint32_t b;
        std::memcpy(&b, &value, sizeof b);
        bits.push_back(b);
    };
    const std::vector<std::int32_t>& n = ann.NeuronCountInLayers();
    for (std::int32_t i = 0; i + 1 < ann.LayerCount(); ++i)
        for (std::int32_t j = 0; j < n[std::size_t(i) + 1]; ++j) {
            add(ann.Bias(i, j));
            for (std::int32_t k = 0; k < n[std::size_t(i)]; ++k)
                add(ann.Weight(i, j, k));
        }
    return bits;
}

// The training run as it has always been, written out again: a fresh [7, 7,
// 3, 2] network from the seed, the closes normalised over their own range,
// Idn - 10 windows from element 0 (which holds 0), every pass in order.
std::vector<std::uint32_t> TrainedAsAlways(const std::vector<double>& closes, int passes, std::uint64_t seed)
{
    float lowest = 0, highest = 0;
    for (double c : closes) {
        const float f = float(c);
        if (lowest == 0) lowest = f;
        highest = std::max(highest, f);
        lowest = std::min(lowest, f);
    }
    const TPriceRange range = PriceRangeOf(lowest, highest);
    std::vector<float> endV{0};
    for (double c : closes)
        endV.push_back(NormalizePrice(float(c), range.IrL, range.IrH));
    SeedNextRavoAnn(seed);
    TRavoAnn ann({7, 7, 3, 2}, 0.005f, TRavoActivationFunc::Sigmoid);
    const int windows = int(closes.size()) - 7 - 2 - 1;
    for (int pass = 0; pass < passes; ++pass)
        for (int i = 0; i < windows; ++i) {
            const std::vector<float> ip(endV.begin() + i, endV.begin() + i + 7);
            ann.Train(ip, {endV[std::size_t(i) + 7], endV[std::size_t(i) + 8]});
        }
    return Bits(ann);
}

class HoldoutRunTest : public PriceCommandsTest {
protected:
    void SetUp() override
    {
        PriceCommandsTest::SetUp();
        form->Clock = [] { return At(2026, 12, 10, 9, 0, 0); };
        form->Settings[TSetting::LNN] = QStringLiteral("3");
    }
    // "読込学習" on these closes with these hold-out days and seed; the lines it logs.
    QStringList Run(const std::vector<double>& closes, const QString& holdout, const QString& seed)
    {
        WritePriceFile(LinesWithCloses(closes));
        form->Settings[TSetting::VLDN] = holdout;
        form->Settings[TSetting::RSD] = seed;
        const int before = Log().size();
        messages.clear();
        form->ImportAndTrain();
        EXPECT_EQ(messages, QStringList{kImportNotice});
        return Log().mid(before);
    }
};

TEST_F(HoldoutRunTest, TrainsOnlyOnTheRowsBeforeTheHoldoutAndReportsItsDays)
{
    const std::vector<double> closes = FortyCloses();
    const QStringList log = Run(closes, QStringLiteral("4"), QStringLiteral("11"));
    // The range of rows 1 to 36 (1005 … 1180), not of the whole file (… 1200).
    EXPECT_EQ(form->IrL, 1000);
    EXPECT_EQ(form->IrH, 1180);
    // Trained exactly as a file of the first 36 rows always was.
    const std::vector<double> before(closes.begin(), closes.begin() + 36);
    EXPECT_EQ(Bits(*form->Ann), TrainedAsAlways(before, 3, 11));

    // The model's prediction of each held-out day from the seven closes
    // before it, as written.
    std::vector<double> predicted;
    for (int t = 37; t <= 40; ++t) {
        std::vector<float> ip;
        for (int j = t - 7; j < t; ++j)
            ip.push_back(form->Data[std::size_t(j)].EndV);
        std::vector<float> op;
        form->Ann->Run(ip, op);
        predicted.push_back(FormatPrice(form->renormalize(op[0])).toDouble());
    }
    double mae = 0, squares = 0;
    int hits = 0;
    for (int d = 0; d < 4; ++d) {
        const double error = predicted[std::size_t(d)] - closes[std::size_t(36 + d)];
        mae += std::fabs(error) / 4;
        squares += error * error / 4;
        const double previous = closes[std::size_t(35 + d)], actual = closes[std::size_t(36 + d)];
        if (actual != previous && (actual > previous) == (predicted[std::size_t(d)] > previous))
            ++hits;
    }
    const QString rmse = FormatPrice(std::sqrt(squares));
    ASSERT_EQ(log.size(), 3 + 6 + 4);
    EXPECT_EQ(log.mid(9), (QStringList{
                              "検証期間: 2020/4/14～2020/4/17 (4日)",
                              "検証 平均絶対誤差: 予測 " + FormatPrice(mae) + " / 前日終値 15.00 / 比 "
                                  + QString::number(mae / 15, 'f', 3),
                              "検証 二乗平均平方根誤差: 予測 " + rmse + " / 前日終値 18.71 / 比 "
                                  + QString::number(std::sqrt(squares) / std::sqrt(350.0), 'f', 3),
                              "検証 方向的中率: " + QString::number(100.0 * hits / 3, 'f', 1) + "%"}));
    EXPECT_EQ(form->Settings[TSetting::VMAE], FormatPrice(mae));
    EXPECT_EQ(form->Settings[TSetting::BMAE], "15.00");
    EXPECT_EQ(form->Settings[TSetting::VRMSE], rmse);
    EXPECT_EQ(form->Settings[TSetting::BRMSE], "18.71");
    EXPECT_EQ(form->Settings[TSetting::VHIT], QString::number(100.0 * hits / 3, 'f', 1));

    // "全予測" writes the same predictions for the held-out days (into the
    // row after each, as it writes every day) and marks where they begin.
    form->y05znYos();
    for (int t = 37; t <= 39; ++t)
        EXPECT_EQ(Cell(QStringLiteral("YCL1"), t + 1).toDouble(), predicted[std::size_t(t - 37)]) << t;
    ASSERT_TRUE(form->HoldoutMark.has_value());
    EXPECT_EQ(*form->HoldoutMark, 37 - 7 - 0.5);
    EXPECT_EQ(form->Chart[0][30].X, 30.0);
    EXPECT_EQ(form->Chart[0][30].Label, QStringLiteral("2020/04/14"));   // row 37
}

TEST_F(HoldoutRunTest, ChangingTheHeldOutClosesChangesNothingOfTheTraining)
{
    std::vector<double> closes = FortyCloses();
    const QStringList first = Run(closes, QStringLiteral("4"), QStringLiteral("5"));
    const auto weights = Bits(*form->Ann);
    std::vector<float> endV;
    for (int i = 0; i <= 36; ++i)
        endV.push_back(form->Data[std::size_t(i)].EndV);

    for (std::size_t i = 36; i < 40; ++i)
        closes[i] = 2000 + 333 * double(i);   // far outside everything before
    const QStringList second = Run(closes, QStringLiteral("4"), QStringLiteral("5"));
    EXPECT_EQ(Bits(*form->Ann), weights);
    EXPECT_EQ(second.mid(0, 9), first.mid(0, 9));   // import and training lines
    EXPECT_NE(second.mid(9), first.mid(9));         // the figures of other days
    EXPECT_EQ(form->IrH, 1180);
    for (int i = 0; i <= 36; ++i)
        EXPECT_EQ(form->Data[std::size_t(i)].EndV, endV[std::size_t(i)]) << i;
}

TEST_F(HoldoutRunTest, NoHoldoutIsTheRunAsItAlwaysWas)
{
    const std::vector<double> closes = FortyCloses();
    QStringList logs[2];
    int n = 0;
    for (const char* holdout : {"", "0"}) {
        SCOPED_TRACE(holdout);
        form->Settings[TSetting::VMAE] = QStringLiteral("12.34");   // left from a registered run
        logs[n++] = Run(closes, QString::fromLatin1(holdout), QStringLiteral("8"));
        EXPECT_EQ(Bits(*form->Ann), TrainedAsAlways(closes, 3, 8));
        EXPECT_EQ(form->IrH, 1200);
        EXPECT_EQ(form->Settings[TSetting::VMAE], QString());
        form->y04Yosok();
        EXPECT_FALSE(form->HoldoutMark.has_value());
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(logs[0], (QStringList{"40件 読込終了", "最終日: 2020/4/17", "時間枠間隔: 日", "学習開始: 9:00:00",
                                    "学習回数: 3回", "学習終了: 00:00", "学習時間: 00:00",
                                    "学習終了 MSE: " + FormatMse(form->Ann->GetMSE()), "MSE: 平均二乗誤差"}));
}

TEST_F(HoldoutRunTest, ASeedRepeatsTheRunAndNoSeedGoesOnFromTheWeights)
{
    const std::vector<double> closes = FortyCloses();
    const QStringList first = Run(closes, QStringLiteral("4"), QStringLiteral("42"));
    const auto weights = Bits(*form->Ann);
    const QStringList again = Run(closes, QStringLiteral("4"), QStringLiteral(" 42"));
    EXPECT_EQ(Bits(*form->Ann), weights);
    EXPECT_EQ(again, first);   // the clock stands still here: every line
    form->y04Yosok();
    const QStringList predictions = Log().mid(Log().size() - 4);

    Run(closes, QStringLiteral("4"), QStringLiteral("43"));
    EXPECT_NE(Bits(*form->Ann), weights);
    Run(closes, QStringLiteral("4"), QStringLiteral("42"));
    form->y04Yosok();
    EXPECT_EQ(Log().mid(Log().size() - 4), predictions);

    Run(closes, QStringLiteral("4"), QString());   // no seed: three more passes on the same network
    EXPECT_NE(Bits(*form->Ann), weights);
    EXPECT_EQ(form->Ann->TrainCount(), 2 * 2 * 3 * (36 - 10));

    form->Settings[TSetting::RSD] = QStringLiteral("seven");
    const int errors = UnhandledErrorCount();
    const int lines = Log().size();
    messages.clear();
    form->ImportAndTrain();
    EXPECT_EQ(UnhandledErrorCount(), errors + 1);
    EXPECT_EQ(messages, QStringList{"乱数シード 'seven' は整数で指定してください (空欄なら時計の値を使います)"});
    EXPECT_EQ(Log().size(), lines);   // refused before the import: no import, no training
}

TEST_F(HoldoutRunTest, WholePeriodComparesEveryDayItPredicts)
{
    Import(DataLines(100));   // closes 1010.25, 1020.25 … 1990.25, then 1000.25
    form->y05znYos();
    // Days 7 to 99, each charted with output 0 of the window before it; each
    // close is 10 above the one before.
    const auto& actual = form->Chart[kActualSeries];
    const auto& predicted = form->Chart[kSameDaySeries];
    ASSERT_EQ(predicted.size(), 93u);
    double mae = 0;
    for (std::size_t k = 0; k < predicted.size(); ++k)
        mae += std::fabs(FormatPrice(predicted[k].Y).toDouble() - form->Data[7 + k].Close) / 93;
    EXPECT_EQ(actual[0].Label, DateToStr(form->Data[7].dt));
    EXPECT_EQ(form->Data[7].Close, 1070.25);
    EXPECT_EQ(Log().last(), "全期間 平均絶対誤差: 予測 " + FormatPrice(mae) + " / 前日終値 10.00 / 比 "
                                + QString::number(mae / 10, 'f', 3));
    EXPECT_FALSE(form->HoldoutMark.has_value());
}

TEST_F(HoldoutRunTest, NextDayMarksWhereTheHoldoutBegins)
{
    Run(FortyCloses(), QStringLiteral("4"), QStringLiteral("1"));
    form->y04Yosok();
    // Row 37, the first held out, stands at X = 30 as in "全予測".
    ASSERT_TRUE(form->HoldoutMark.has_value());
    EXPECT_EQ(*form->HoldoutMark, 29.5);
    EXPECT_EQ(form->Chart[kActualSeries][16].X, 30.0);
    EXPECT_EQ(form->Chart[kActualSeries][16].Label, QStringLiteral("2020/04/14"));
}

}  // namespace
