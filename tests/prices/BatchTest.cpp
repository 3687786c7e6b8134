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
}

}  // namespace
