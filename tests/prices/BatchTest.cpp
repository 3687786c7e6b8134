// brelvan-batch end to end on the sample price file, in a fresh folder: the
// log on standard output, the messages on standard error, the registration
// in SQDB.DB, the saved chart and table, a model saved and loaded again in a
// new process, and what it does when its output or a file cannot be written.  CTest runs this program a second time under a
// comma-decimal locale: the driver writes the same texts there.
#include "support/BatchRunner.h"
#include "support/PriceFiles.h"
#include "support/PrintQString.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>
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
    const auto matches = [](const QString& line, const char* pattern) {
        return QRegularExpression(QString::fromUtf8(pattern)).match(line).hasMatch();
    };
    EXPECT_TRUE(matches(run.Out[7], "^学習終了 MSE: 0\\.[0-9]{9}$")) << run.Out[7].toStdString();
    EXPECT_EQ(run.Out[9], QStringLiteral("2020/04/17 終値実価格: 2874.56"));
    EXPECT_EQ(run.Out[10], QStringLiteral("2020/04/17 以降の終値予測"));
    EXPECT_TRUE(matches(run.Out[11], "^2020/04/17 終値: [0-9]+\\.[0-9]{2}$")) << run.Out[11].toStdString();
    EXPECT_TRUE(matches(run.Out[12], "^2020/04/18 終値: [0-9]+\\.[0-9]{2}$")) << run.Out[12].toStdString();
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
    // Every row from the first window's next day to the last holds both
    // predictions: CNT, DATE, TIME, four prices (quoted when they hold a
    // comma), then YCL1 and YCL2.
    const QRegularExpression predicted(
        QStringLiteral("^([0-9]+),[^,]*,[^,]*,(?:\"[^\"]*\",|[^,\"]*,){4}[0-9]+(\\.[0-9]+)?,[0-9]+(\\.[0-9]+)?,"));
    int filled = 0;
    QString firstEmpty;
    for (int row = 8; row <= 5105; ++row) {
        const QRegularExpressionMatch m = predicted.match(rows[row]);
        if (m.hasMatch() && m.captured(1).toInt() == row)
            ++filled;
        else if (firstEmpty.isEmpty())
            firstEmpty = rows[row];
    }
    EXPECT_EQ(filled, 5105 - 7) << firstEmpty.toStdString();
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
    EXPECT_TRUE(run.Err.contains(
        QStringLiteral("学習数 'many' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)")))
        << run.Err.join('\n').toStdString();
}

// An option's text is given whole to the settings' checks, which refuse
// what the edit on screen would not take: nothing is cut without a word.
TEST_F(BatchTest, SettingsLongerThanTheirColumnsAreRefusedNotCut)
{
    const TRun passes = RunBatch(folder.path(), {"--passes", "123456789"});
    EXPECT_EQ(passes.ExitCode, 1);
    EXPECT_FALSE(passes.Out.join('\n').contains(QStringLiteral("読込終了"))) << "nothing is read or trained";
    EXPECT_TRUE(passes.Err.contains(
        QStringLiteral("学習数 '123456789' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)")))
        << passes.Err.join('\n').toStdString();

    const TRun remark = RunBatch(folder.path(), {"--passes", "1", "--register", QString(41, QChar(u'長'))});
    EXPECT_EQ(remark.ExitCode, 1);
    EXPECT_TRUE(remark.Err.contains(QStringLiteral("摘要は 40 文字までです (41 文字あります)")))
        << remark.Err.join('\n').toStdString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("batch_remark"));
    db.setDatabaseName(QDir(folder.path()).filePath(QStringLiteral("SQDB.DB")));
    ASSERT_TRUE(db.open());
    QSqlQuery count(db);
    ASSERT_TRUE(count.exec(QStringLiteral("select count(*) from AYFS")) && count.next());
    EXPECT_EQ(count.value(0).toInt(), 0);
    count = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("batch_remark"));
}

// Standard output or standard error on a full device: the run goes on, and
// the exit status says that what was to be written is not all there.
TEST_F(BatchTest, OutputThatCannotBeWrittenGivesStatusThree)
{
    const TRun fullOutput = RunBatch(folder.path(), {"--passes", "1"}, false, kBatchTimeoutMs,
                                     [](QProcess& p) { p.setStandardOutputFile(QStringLiteral("/dev/full")); });
    EXPECT_EQ(fullOutput.ExitCode, 3);
    ASSERT_FALSE(fullOutput.Err.isEmpty());
    EXPECT_EQ(fullOutput.Err.filter(QStringLiteral("標準出力に書けません / cannot write to standard output: ")).size(), 1)
        << fullOutput.Err.join('\n').toStdString();
    EXPECT_TRUE(fullOutput.Err.contains(QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")));

    const TRun fullError = RunBatch(folder.path(), {"--passes", "1"}, false, kBatchTimeoutMs,
                                    [](QProcess& p) { p.setStandardErrorFile(QStringLiteral("/dev/full")); });
    EXPECT_EQ(fullError.ExitCode, 3);
    EXPECT_EQ(fullError.Out.size(), 15);   // the whole log: the messages' failure leaves it whole

    const TRun help = RunBatch(folder.path(), {"--help"}, false, kBatchTimeoutMs,
                               [](QProcess& p) { p.setStandardOutputFile(QStringLiteral("/dev/full")); });
    EXPECT_EQ(help.ExitCode, 3);
    EXPECT_EQ(help.Err.filter(QStringLiteral("標準出力に書けません")).size(), 1);
}

// A table or chart that cannot be written whole (here: beyond the file size
// limit the run is given) leaves the files saved before as they were, and no
// temporary file beside them.
TEST_F(BatchTest, AFailedSaveLeavesTheEarlierFileAsItWas)
{
    const QDir dir(folder.path());
    const QByteArray earlier = "earlier save\r\n";
    for (const char* name : {"table.csv", "chart.png"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(earlier);
    }
    const QStringList before = dir.entryList(QDir::Files);
    const TRun run = RunBatch(folder.path(), {"--passes", "1", "--table", "table.csv", "--chart", "chart.png"},
                              false, kBatchTimeoutMs, [](QProcess& p) {
                                  p.setChildProcessModifier([] {
                                      // Large enough for SQDB.DB, too small for the new table and chart.
                                      const rlimit limit{32 * 1024, 32 * 1024};
                                      setrlimit(RLIMIT_FSIZE, &limit);
                                      std::signal(SIGXFSZ, SIG_IGN);
                                  });
                              });
    EXPECT_EQ(run.ExitCode, 1);
    for (const char* name : {"table.csv", "chart.png"})
        EXPECT_EQ(run.Err.filter(QString::fromLatin1(name) + QStringLiteral(" に保存できませんでした: ")).size(), 1)
            << run.Err.join('\n').toStdString();
    for (const char* name : {"table.csv", "chart.png"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), earlier) << name;
    }
    QStringList after = dir.entryList(QDir::Files);
    after.removeAll(QStringLiteral("SQDB.DB"));
    EXPECT_EQ(after, before);
}

// The log from "予測1" on: its four lines and "全予測"'s.
QStringList PredictionLines(const TRun& run)
{
    const qsizetype first = run.Out.indexOf(QStringLiteral("MSE: 平均二乗誤差"));
    return first < 0 ? QStringList() : run.Out.mid(first + 1, 5);
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST_F(BatchTest, ASavedModelPredictsTheSameInANewProcess)
{
    const QDir first(folder.path());
    const TRun trained = RunBatch(first.path(), {"--passes", "40", "--save-model", "m.bin", "--export", "first.csv"});
    ASSERT_EQ(trained.ExitCode, 0) << trained.Err.join('\n').toStdString();
    EXPECT_TRUE(trained.Out.contains(QStringLiteral("モデル保存: m.bin")));

    // A new folder and database: only the price file and the model come along.
    QTemporaryDir other;
    const QDir second(other.path());
    ASSERT_TRUE(QFile::copy(first.filePath("tarvok_stock_average_daily_jp.csv"),
                            second.filePath("tarvok_stock_average_daily_jp.csv")));
    ASSERT_TRUE(QFile::copy(first.filePath("m.bin"), second.filePath("m.bin")));
    const TRun loaded =
        RunBatch(second.path(), {"--load-model", "m.bin", "--passes", "0", "--save-model", "again.bin", "--export", "second.csv"});
    ASSERT_EQ(loaded.ExitCode, 0) << loaded.Err.join('\n').toStdString();
    EXPECT_EQ(loaded.Out.front(), QStringLiteral("モデル読込: m.bin ([7,7,3,2])"));
    EXPECT_TRUE(loaded.Out.contains(QStringLiteral("学習回数: 0回")));

    const QStringList predictions = PredictionLines(trained);
    ASSERT_EQ(predictions.size(), 5);
    EXPECT_EQ(predictions[1], QStringLiteral("2020/04/17 以降の終値予測"));
    EXPECT_EQ(PredictionLines(loaded), predictions);
    // The network unchanged to the bit, and every stored prediction the same.
    EXPECT_EQ(Bytes(second.filePath("again.bin")), Bytes(first.filePath("m.bin")));
    const QByteArray table = Bytes(first.filePath("first.csv"));
    EXPECT_EQ(QString::fromUtf8(table).count(QStringLiteral("\r\n")), 1 + 5105 + 8);
    EXPECT_EQ(Bytes(second.filePath("second.csv")), table);
}

TEST_F(BatchTest, AModelFileThatIsRefusedEndsTheRunBeforeTheCommands)
{
    QFile junk(QDir(folder.path()).filePath("junk.bin"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("junk");
    junk.close();
    const TRun run = RunBatch(folder.path(), {"--load-model", "junk.bin", "--save-model", "out.bin"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("モデルファイル junk.bin を読み込めません: モデルファイルが短すぎます")))
        << run.Err.join('\n').toStdString();
    EXPECT_TRUE(run.Out.isEmpty()) << run.Out.join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(QDir(folder.path()).filePath("out.bin")));
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

namespace {

// Ctrl+C during the training stops it at the end of a pass, as "中止" does;
// the driver goes on with the predictions and the registration, which
// records the passes done, and ends with status 130.
TEST_F(BatchTest, CtrlCStopsTheTrainingAndTheRestRuns)
{
    const TRun run = RunBatch(folder.path(), {"--passes", "99999999", "--register", "stopped"}, false,
                              kBatchTimeoutMs, nullptr, TInterrupt{QStringLiteral("学習回数: "), 1});
    EXPECT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 130) << run.Err.join(QLatin1Char('\n')).toStdString();
    const int done = PassesDone(run.Out);
    ASSERT_GE(done, 0) << run.Out.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(run.Out.size(), 3 + 7 + 4 + 2);   // import, training, 予測1, 全予測 with its comparison
    EXPECT_EQ(run.Out[5], QStringLiteral("学習中止: %1/99999999回").arg(done));
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
    const TRun run = RunBatch(folder.path(), {"--passes", "99999999", "--register", "second"}, false,
                              kBatchTimeoutMs, nullptr, TInterrupt{QStringLiteral("学習回数: "), 2});
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
    ASSERT_EQ(out.size(), 15);
    EXPECT_EQ(out[4], QStringLiteral("学習回数: 1000回"));
    EXPECT_FALSE(QString::fromUtf8(run.Out).contains(QLatin1Char('\r')));

    // Redirected, standard error has the messages and nothing else.
    const TRun redirected = RunBatch(folder.path(), {"--passes", "3"});
    for (const QString& line : redirected.Err)
        EXPECT_FALSE(line.contains(QLatin1Char('\r')) || line.startsWith(QStringLiteral("学習 "))) << line.toStdString();
}

}  // namespace
