// The register survives a crash: a process registers runs and is killed hard
// (SIGKILL) right after a registration, or while it holds the database idle.
// Every registration it reported is in the file, the numbers run without a
// gap, and the file passes the sqlite3 command's integrity check.  The file
// database runs with synchronous OFF: a killed process leaves its written
// pages to the operating system, which still writes them (only a power loss
// could lose them).
#include "HardeningSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using namespace Hardening;

struct TCrashCase {
    const char* Name;
    int Registrations;   // the driver registers this many runs
    int KillAfter;       // killed right after reading this many reports (0: after "done")
};

// Test names in CTest show the case, not its bytes.
void PrintTo(const TCrashCase& c, std::ostream* os) { *os << c.Name; }

class CrashTest : public ::testing::TestWithParam<TCrashCase> {};

TEST_P(CrashTest, KeepsEveryRegisteredRun)
{
    const TCrashCase& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString database = QDir(folder.path()).filePath(kDatabase);

    QProcess driver;
    driver.start(QStringLiteral(REGISTER_DRIVER), {folder.path(), QString::number(c.Registrations)});
    ASSERT_TRUE(driver.waitForStarted());
    int reported = 0;
    bool done = false;
    while (!done && driver.state() == QProcess::Running) {
        if (!driver.canReadLine() && !driver.waitForReadyRead(10 * 60 * 1000))
            break;
        while (driver.canReadLine()) {
            const QString line = QString::fromUtf8(driver.readLine()).trimmed();
            if (line.startsWith(QLatin1String("registered "))) {
                ++reported;
                EXPECT_EQ(line, QStringLiteral("registered %1").arg(reported));
            }
            if ((c.KillAfter > 0 && reported == c.KillAfter) || line == QLatin1String("done")) {
                driver.kill();   // SIGKILL
                done = true;
                break;
            }
        }
    }
    driver.waitForFinished();
    ASSERT_TRUE(done) << "the driver ended by itself: " << driver.readAllStandardError().toStdString();
    EXPECT_EQ(driver.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(reported, c.KillAfter > 0 ? c.KillAfter : c.Registrations);

    // The file after the kill, through the sqlite3 command.
    EXPECT_EQ(IntegrityCheck(database), QStringLiteral("ok"));
    const QStringList rows = Sqlite3Lines(database, QStringLiteral("select CNT, TYO from AYFS order by CNT"));
    ASSERT_GE(rows.size(), reported);
    // Registrations after the last one read may have been written already: on
    // a loaded machine the driver can run several ahead of this reader.
    ASSERT_LE(rows.size(), c.Registrations);
    for (int i = 1; i <= rows.size(); ++i)
        EXPECT_EQ(rows[i - 1], QStringLiteral("%1|run %1").arg(i));
}

const TCrashCase kCrashCases[] = {
    {"RightAfterTheFirst", 12, 1},
    {"RightAfterTheFifth", 12, 5},
    {"InTheMiddleOfASeries", 40, 23},
    {"HoldingTheDatabaseIdle", 6, 0},
};

INSTANTIATE_TEST_SUITE_P(Kill, CrashTest, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<TCrashCase>& info) { return info.param.Name; });

}  // namespace
