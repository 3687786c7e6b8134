// A first start killed hard (SIGKILL) at its page writes: brelvan-batch in a
// folder with only a price file is killed by strace at the n-th pwrite64 of
// SQLite (the database file and its journal), for every write of a first
// start, or for an even sample of them if there are many.  The start after
// it must work: exit status 0, a run registered with its remark, the
// catalogue complete, and the file intact for the sqlite3 command.
#include "HardeningSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using namespace Hardening;

constexpr int kShards = 4;        // CTest runs the shards side by side
constexpr int kMostPoints = 48;   // more writes than this: an even sample of this many
constexpr int kTimeoutMs = 10 * 60 * 1000;

const QStringList kFirstStart{"--passes", "1", "--register", "first"};

QString Strace() { return QStandardPaths::findExecutable(QStringLiteral("strace")); }

// brelvan-batch under strace; `traceFile` receives the trace.  Returns
// whether the program ended by itself.
bool RunTraced(const QString& folder, const QStringList& straceArgs, const QString& traceFile)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    // LeakSanitizer cannot run under ptrace: a traced run of the sanitizer
    // build leaves it out (the untraced runs keep it).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + QStringLiteral(":detect_leaks=0"));
    process.setProcessEnvironment(environment);
    process.start(Strace(), QStringList{"-f", "-o", traceFile, "-e", "trace=pwrite64"} + straceArgs
                                + QStringList{QStringLiteral(BRELVAN_BATCH)} + kFirstStart);
    EXPECT_TRUE(process.waitForStarted(kTimeoutMs));
    EXPECT_TRUE(process.waitForFinished(kTimeoutMs));
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString NewFolder(QTemporaryDir& dir)
{
    EXPECT_TRUE(dir.isValid());
    WriteFile(QDir(dir.path()).filePath(kPriceFile), SmallPriceFile(60));
    return dir.path();
}

// The page writes of one first start, counted in a trace of it.
int PageWritesOfAFirstStart()
{
    QTemporaryDir dir;
    const QString folder = NewFolder(dir);
    const QString trace = QDir(folder).filePath(QStringLiteral("trace.txt"));
    EXPECT_TRUE(RunTraced(folder, {}, trace));
    return int(ReadFile(trace).count("pwrite64("));
}

// Every write from 1 to `writes`, or an even sample of kMostPoints with the
// first and the last.
QList<int> KillPoints(int writes)
{
    QList<int> points;
    const int count = std::min(writes, kMostPoints);
    for (int i = 0; i < count; ++i)
        points << (count == 1 ? 1 : 1 + int((long long)(writes - 1) * i / (count - 1)));
    return points;
}

class FirstStartKillTest : public ::testing::TestWithParam<int> {};

TEST_P(FirstStartKillTest, NextStartWorksAndRegisters)
{
    ASSERT_FALSE(Strace().isEmpty()) << "the strace command is needed (make deps installs it)";
    const int writes = PageWritesOfAFirstStart();
    ASSERT_GE(writes, 10) << "a first start writes pages to SQDB.DB";
    const QList<int> points = KillPoints(writes);
    for (int i = GetParam(); i < points.size(); i += kShards) {
        const int n = points[i];
        SCOPED_TRACE(QStringLiteral("killed at write %1 of %2").arg(n).arg(writes).toStdString());
        QTemporaryDir dir;
        const QString folder = NewFolder(dir);
        const QString database = QDir(folder).filePath(kDatabase);
        EXPECT_FALSE(RunTraced(folder, {"-e", QStringLiteral("inject=pwrite64:signal=SIGKILL:when=%1").arg(n)},
                               QStringLiteral("/dev/null")))
            << "the first start was not killed";

        const QString remark = QStringLiteral("after kill %1").arg(n);
        const TRun next = RunBatch(folder, {"--passes", "1", "--register", remark});
        EXPECT_TRUE(next.Finished);
        EXPECT_EQ(next.ExitCode, 0) << next.Err.join('\n').toStdString();
        EXPECT_EQ(IntegrityCheck(database), QStringLiteral("ok"));
        EXPECT_EQ(Sqlite3Lines(database, "select count(*) from AAATBN; select count(*) from AAATST"),
                  QStringList({"5", "50"}));
        // The killed start's registration is there or not; the new one is last.
        const QStringList rows = Sqlite3Lines(database, "select CNT, TYO from AYFS order by CNT");
        ASSERT_FALSE(rows.isEmpty());
        EXPECT_LE(rows.size(), 2);
        EXPECT_EQ(rows.last(), QStringLiteral("%1|%2").arg(rows.size()).arg(remark));
        if (rows.size() == 2) {
            EXPECT_EQ(rows.first(), QStringLiteral("1|first"));
        }
        // Each run's row of figures went in with it, or neither did.
        EXPECT_EQ(Sqlite3Lines(database, "select CNT from AYKS order by CNT"),
                  Sqlite3Lines(database, "select CNT from AYFS order by CNT"));
    }
}

INSTANTIATE_TEST_SUITE_P(Kill, FirstStartKillTest, ::testing::Range(0, kShards),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Shard" + std::to_string(info.param + 1) + "of" + std::to_string(kShards);
                         });

}  // namespace
