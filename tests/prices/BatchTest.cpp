// brelvan-batch end to end on the sample price file, in a fresh folder: the
// log on standard output, the messages on standard error, the registration
// in SQDB.DB, the saved chart and table.
#include "support/BatchRunner.h"
#include "support/PriceFiles.h"
#include "support/PrintQString.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

    // The register's rows: run number, passes and remark.
    QStringList Register() const
    {
        QStringList rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("batch_register"));
            db.setDatabaseName(QDir(folder.path()).filePath(QStringLiteral("SQDB.DB")));
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("select CNT, LNN, TYO from AYFS order by CNT")));
            while (q.next())
                rows << QStringLiteral("%1|%2|%3").arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("batch_register"));
        return rows;
    }
};

// The number k of "学習中止: k/N回" in the log, or -1.
int PassesDone(const QStringList& out)
{
    for (const QString& line : out) {
        if (line.startsWith(QStringLiteral("学習中止: ")))
            return line.mid(6, line.indexOf(QLatin1Char('/')) - 6).toInt();
    }
    return -1;
}

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

namespace {

// Ctrl+C during the training stops it at the end of a pass, as "中止" does;
// the driver goes on with the predictions and the registration, which
// records the passes done, and ends with status 130.
TEST_F(BatchTest, CtrlCStopsTheTrainingAndTheRestRuns)
{
    const TRun run = RunBatch(folder.path(), {"--passes", "100000000", "--register", "stopped"}, false, 10 * 60 * 1000,
                              {QStringLiteral("学習回数: "), 1});
    EXPECT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 130) << run.Err.join(QLatin1Char('\n')).toStdString();
    const int done = PassesDone(run.Out);
    ASSERT_GE(done, 0) << run.Out.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(run.Out.size(), 3 + 7 + 4 + 1);
    EXPECT_EQ(run.Out[5], QStringLiteral("学習中止: %1/100000000回").arg(done));
    EXPECT_TRUE(run.Out[6].startsWith(QStringLiteral("学習終了: ")));
    EXPECT_EQ(run.Out[9], QStringLiteral("MSE: 平均二乗誤差"));
    EXPECT_EQ(run.Out[11], QStringLiteral("2020/04/17 以降の終値予測"));
    EXPECT_EQ(run.Out[14], QStringLiteral("全期間の予測"));
    EXPECT_EQ(Register(), QStringList{QStringLiteral("1|%1|stopped").arg(done)});
}

// A second Ctrl+C also skips what is left: here the registration.  What was
// registered before stays as it was.
TEST_F(BatchTest, SecondCtrlCSkipsTheRest)
{
    const TRun first = RunBatch(folder.path(), {"--passes", "1", "--register", "first"});
    ASSERT_EQ(first.ExitCode, 0);
    // Passes long enough that both presses come while the commands run.
    WritePriceFile(DataLines(100000), folder.path());
    const TRun run = RunBatch(folder.path(), {"--passes", "100000000", "--register", "second"}, false,
                              10 * 60 * 1000, {QStringLiteral("学習回数: "), 2});
    EXPECT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 130);
    EXPECT_GE(PassesDone(run.Out), 0) << run.Out.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(Register(), QStringList{QStringLiteral("1|1|first")});
}

// brelvan-batch with its standard error on a terminal and its standard
// output in a pipe; what each received.
struct TTerminalRun {
    int Status = -1;
    QByteArray Out, Terminal;
};

TTerminalRun RunOnTerminal(const QString& folder, const QStringList& args)
{
    TTerminalRun result;
    int master = -1, slave = -1, out[2];
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe(out) != 0)
        return result;
    const QByteArray program = QByteArray(BRELVAN_BATCH);
    std::vector<QByteArray> words{program};
    for (const QString& a : args)
        words.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(folder).constData());
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, master);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    ::close(out[1]);
    if (spawned != 0)
        return result;
    // Both ends are read until the program has closed them.
    pollfd fds[2] = {{master, POLLIN, 0}, {out[0], POLLIN, 0}};
    QByteArray* into[2] = {&result.Terminal, &result.Out};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 60000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, qsizetype(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.Status = WEXITSTATUS(status);
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    return result;
}

// On a terminal, standard error shows the training's progress in one line
// that is drawn over and cleared before the next message; the log on
// standard output is what it is when both are redirected.
TEST_F(BatchTest, ShowsProgressOnATerminalOnly)
{
    const TTerminalRun run = RunOnTerminal(folder.path(), {"--passes", "1000"});
    ASSERT_EQ(run.Status, 0) << run.Terminal.toStdString();
    const QString terminal = QString::fromUtf8(run.Terminal);
    EXPECT_TRUE(terminal.contains(QStringLiteral("\r学習 "))) << terminal.toStdString();
    EXPECT_TRUE(terminal.contains(QStringLiteral("/1000回")));
    EXPECT_TRUE(terminal.contains(QStringLiteral("\r\x1b[K")));
    // Every message still stands on a line of its own.
    EXPECT_TRUE(terminal.contains(QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")));
    EXPECT_TRUE(terminal.endsWith(QStringLiteral("\n")) || terminal.endsWith(QStringLiteral("\x1b[K")));

    const QStringList out = QString::fromUtf8(run.Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 14);
    EXPECT_EQ(out[4], QStringLiteral("学習回数: 1000回"));
    EXPECT_FALSE(QString::fromUtf8(run.Out).contains(QLatin1Char('\r')));

    // Redirected, standard error has the messages and nothing else.
    const TRun redirected = RunBatch(folder.path(), {"--passes", "3"});
    for (const QString& line : redirected.Err)
        EXPECT_FALSE(line.contains(QLatin1Char('\r')) || line.startsWith(QStringLiteral("学習 "))) << line.toStdString();
}

}  // namespace
