// brelvan-batch end to end on the sample price file, in a fresh folder: the
// log on standard output, the messages on standard error, the registration
// in SQDB.DB, the saved chart and table.
#include "support/BatchRunner.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(BRELVAN_SAMPLE),
                                QDir(folder.path()).filePath(QStringLiteral("tarvok_stock_average_daily_jp.csv"))));
    }
    QTemporaryDir folder;
};

TEST_F(BatchTest, RunsTheSampleLikeAUser)
{
    const TRun run = RunBatch(folder.path(), {"--passes", "20", "--register", "batch run", "--chart", "chart.png",
                                              "--table", "table.csv"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err.join(QLatin1Char('\n')).toStdString();
    ASSERT_GE(run.Out.size(), 14);
    EXPECT_EQ(run.Out[0], QStringLiteral("5105件 読込終了"));
    EXPECT_EQ(run.Out[1], QStringLiteral("最終日: 2020/04/17"));
    EXPECT_EQ(run.Out[2], QStringLiteral("時間枠間隔: 日"));
    EXPECT_TRUE(run.Out[3].startsWith(QStringLiteral("学習開始: ")));
    EXPECT_EQ(run.Out[4], QStringLiteral("学習回数: 20回"));
    EXPECT_EQ(run.Out[9].left(26), QStringLiteral("2020/04/17 終値実価格: 2874.56").left(26));
    EXPECT_EQ(run.Out[10], QStringLiteral("2020/04/17 以降の終値予測"));
    EXPECT_TRUE(run.Out[11].startsWith(QStringLiteral("2020/04/17 終値: ")));
    EXPECT_TRUE(run.Out[12].startsWith(QStringLiteral("2020/04/18 終値: ")));
    EXPECT_EQ(run.Out[13], QStringLiteral("全期間の予測"));
    EXPECT_TRUE(run.Out[14].startsWith(QStringLiteral("全期間 平均絶対誤差: 予測 ")));
    EXPECT_TRUE(run.Err.contains(QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("batch_check"));
        db.setDatabaseName(QDir(folder.path()).filePath(QStringLiteral("SQDB.DB")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("select CNT, DN, LNN, TYO from AYFS")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 1);
        EXPECT_EQ(q.value(1).toString(), QStringLiteral("5105"));
        EXPECT_EQ(q.value(2).toString(), QStringLiteral("20"));
        EXPECT_EQ(q.value(3).toString(), QStringLiteral("batch run"));
        EXPECT_FALSE(q.next());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("batch_check"));

    const QImage chart(QDir(folder.path()).filePath(QStringLiteral("chart.png")));
    EXPECT_GE(chart.width(), 857);
    EXPECT_GE(chart.height(), 305);
    QFile table(QDir(folder.path()).filePath(QStringLiteral("table.csv")));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(table.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + 5105 + 8);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("CNT,DATE,")));
    EXPECT_TRUE(rows[5105].startsWith(QStringLiteral("5105,2020/04/17,,\"2,874.56\",")));
}

// The log without the lines that carry the clock.
QStringList WithoutClock(const QStringList& lines)
{
    QStringList kept;
    for (const QString& line : lines)
        if (!line.startsWith(QStringLiteral("学習開始: ")) && !line.startsWith(QStringLiteral("学習終了: "))
            && !line.startsWith(QStringLiteral("学習時間: ")))
            kept << line;
    return kept;
}

TEST_F(BatchTest, HoldoutAndSeedGiveTheSameFiguresOnEveryRun)
{
    const QStringList args{"--holdout", "250", "--seed", "1", "--passes", "40", "--register", "検証"};
    const TRun run = RunBatch(folder.path(), args);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(run.Out.size(), 19);
    EXPECT_EQ(run.Out[9], QStringLiteral("検証期間: 2019/04/23～2020/04/17 (250日)"));
    EXPECT_TRUE(run.Out[10].startsWith(QStringLiteral("検証 平均絶対誤差: 予測 "))) << run.Out[10].toStdString();
    EXPECT_TRUE(run.Out[10].contains(QStringLiteral(" / 前日終値 30.80 / 比 "))) << run.Out[10].toStdString();
    EXPECT_TRUE(run.Out[11].contains(QStringLiteral(" / 前日終値 54.43 / 比 "))) << run.Out[11].toStdString();
    EXPECT_TRUE(run.Out[12].startsWith(QStringLiteral("検証 方向的中率: "))) << run.Out[12].toStdString();
    EXPECT_TRUE(run.Out[18].contains(QStringLiteral(" / 前日終値 12.03 / 比 "))) << run.Out[18].toStdString();

    const TRun again = RunBatch(folder.path(), args);
    EXPECT_EQ(WithoutClock(again.Out), WithoutClock(run.Out));

    const QString name = QStringLiteral("batch_figures");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir(folder.path()).filePath(QStringLiteral("SQDB.DB")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("select CNT, VLDN, RSD, VMAE, BMAE, BRMSE, VHIT from AYKS order by CNT")));
        for (int cnt = 1; cnt <= 2; ++cnt) {
            ASSERT_TRUE(q.next());
            EXPECT_EQ(q.value(0).toInt(), cnt);
            EXPECT_EQ(q.value(1).toString(), QStringLiteral("250"));
            EXPECT_EQ(q.value(2).toString(), QStringLiteral("1"));
            EXPECT_TRUE(run.Out[10].contains(QStringLiteral("予測 ") + q.value(3).toString() + QStringLiteral(" / ")));
            EXPECT_EQ(q.value(4).toString(), QStringLiteral("30.80"));
            EXPECT_EQ(q.value(5).toString(), QStringLiteral("54.43"));
            EXPECT_EQ(run.Out[12], QStringLiteral("検証 方向的中率: ") + q.value(6).toString() + QLatin1Char('%'));
        }
        EXPECT_FALSE(q.next());
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_F(BatchTest, ErrorThatReachesTheDefaultHandlerGivesStatusOne)
{
    const TRun run = RunBatch(folder.path(), {"--passes", "many"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("'many' は整数ではありません"))) << run.Err.join('\n').toStdString();
}

TEST_F(BatchTest, HelpIsJapaneseAndEnglish)
{
    const TRun run = RunBatch(folder.path(), {"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    const QString text = run.Out.join(QLatin1Char('\n'));
    EXPECT_TRUE(text.contains(QStringLiteral("使い方: brelvan-batch")));
    EXPECT_TRUE(text.contains(QStringLiteral("Usage: brelvan-batch")));
    for (const char* option : {"--holdout N", "--seed N"})
        EXPECT_EQ(text.count(QString::fromLatin1(option)), 4) << option;   // in both usages and both lists
}

}  // namespace
