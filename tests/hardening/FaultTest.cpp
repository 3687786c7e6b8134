// Faults of the files the program works with, on real files: brelvan-batch
// runs in a fresh folder holding a register of two runs, after the case has
// damaged something.  Each case names the message the user sees; in every
// case the program ends cleanly (no crash, no sanitizer report, exit status 0
// or 1) and the registered runs are all still there, unchanged (read through
// a separate connection after the program has released the file).
#include "HardeningSupport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace Hardening;

// The folder every case starts from: a small price file and a register of
// two runs (one remark with a quote), made once by the program itself.
class TBaseFolder {
public:
    static const TBaseFolder& Get()
    {
        static const TBaseFolder base;
        return base;
    }
    QByteArray Database;
    QByteArray PriceFile;
    QStringList Rows;

    // The database and, unless told otherwise, the price file into `dir`.
    void WriteInto(const QDir& dir, bool withPriceFile = true) const
    {
        WriteFile(dir.filePath(kDatabase), Database);
        if (withPriceFile)
            WriteFile(dir.filePath(kPriceFile), PriceFile);
    }

private:
    TBaseFolder()
    {
        QTemporaryDir dir;
        PriceFile = SmallPriceFile(60);
        WriteFile(dir.filePath(kPriceFile), PriceFile);
        for (const char* remark : {"最初の登録 it's", "second"}) {
            const TRun run = RunBatch(dir.path(), {"--passes", "1", "--register", QString::fromUtf8(remark)});
            EXPECT_EQ(run.ExitCode, 0) << run.Err.join('\n').toStdString();
        }
        Database = ReadFile(dir.filePath(kDatabase));
        Rows = RegisterRows(dir.filePath(kDatabase));
        EXPECT_EQ(Rows.size(), 2);
    }
};

struct TFaultCase {
    const char* Name;
    std::function<void(const QDir&)> Damage;
    int ExitCode;               // 0: the program went on to its end; 1: an error was reported
    const char* Message;        // a message box text, or its beginning
    bool PressRegister = false; // the case presses "登録(&R)" at the end
    int RowsAdded = 0;          // runs the register holds more afterwards
    bool AsOtherUser = false;   // run without root's rights (file permissions bite)
    bool RegisterReadable = true;   // false: the database file itself is damaged and must stay byte for byte
    const char* LogLine = nullptr;  // a line the log must show
    bool HoldDatabase = false;      // a second process holds the database while the program runs
};

// Test names in CTest show the case, not its bytes.
void PrintTo(const TFaultCase& c, std::ostream* os) { *os << c.Name; }

QStringList Args(const TFaultCase& c)
{
    QStringList args{"--passes", "1"};
    if (c.PressRegister)
        args << "--register" << "fault case";
    return args;
}

void RemoveAndMakeDirectory(const QDir& dir, const QString& name)
{
    QFile::remove(dir.filePath(name));
    dir.mkdir(name);
}

// A register row whose input size is `size` becomes the last run.
std::function<void(const QDir&)> LastRunInputSize(const QString& size)
{
    return [size](const QDir& dir) {
        ExecOnFile(dir.filePath(kDatabase),
                   {QStringLiteral("insert into AYFS (CNT, LNN, LYIPN, LYOPN, TYO) values (3, '1', '%1', '2', 'bad')")
                        .arg(size)});
    };
}

std::function<void(const QDir&)> LastRunOutputSize(const QString& size)
{
    return [size](const QDir& dir) {
        ExecOnFile(dir.filePath(kDatabase),
                   {QStringLiteral("insert into AYFS (CNT, LNN, LYIPN, LYOPN, TYO) values (3, '1', '7', '%1', 'bad')")
                        .arg(size)});
    };
}

const TFaultCase kCases[] = {
    // The database file.
    {"DatabaseNameIsADirectory",
     [](const QDir& d) { return RemoveAndMakeDirectory(d, kDatabase); }, 1,
     "SQDB.DB を開けません: 通常のファイルではなくディレクトリです", false, 0, false, false},
    {"DatabaseIsAFifo",
     [](const QDir& d) {
         QFile::remove(d.filePath(kDatabase));
         ::mkfifo(QFile::encodeName(d.filePath(kDatabase)).constData(), 0600);
     },
     1, "SQDB.DB を開けません: 通常のファイルではなく名前付きパイプ (FIFO) です", false, 0, false, false},
    {"DatabaseLinksToDevZero",
     [](const QDir& d) {
         QFile::remove(d.filePath(kDatabase));
         QFile::link("/dev/zero", d.filePath(kDatabase));
     },
     1, "SQDB.DB を開けません: 通常のファイルではなくデバイスです", true, 0, false, false},
    {"FolderReadOnlyNoDatabase",
     [](const QDir& d) {
         QFile::remove(d.filePath(kDatabase));
         MakeReadOnly(d.path());
     },
     1, " に書き込む権限がないため、データベースファイルを作れません (unable to open database file)", false, 0, true, false},
    {"FolderAndDatabaseReadOnly",
     [](const QDir& d) {
         MakeReadOnly(d.path());
     },
     1, "登録できませんでした: データベースが読み取り専用のため書き込めません (attempt to write a readonly database)", true, 0,
     true},
    {"DatabaseIsRandomBytes",
     [](const QDir& d) {
         QByteArray noise(4096, '\0');
         QRandomGenerator generator(20261210);
         for (char& c : noise)
             c = char(generator.bounded(256));
         WriteFile(d.filePath(kDatabase), noise);
     },
     1, "SQDB.DB を開けません: データベースファイルではありません (file is not a database)", false, 0, false, false},
    {"DatabaseTruncated",
     [](const QDir& d) {
         const QByteArray whole = ReadFile(d.filePath(kDatabase));
         WriteFile(d.filePath(kDatabase), whole.left(whole.size() / 2));
     },
     1, "SQDB.DB を開けません: データベースファイルが壊れています (database disk image is malformed)", false, 0, false,
     false},
    {"DatabaseZeroBytesIsANewDatabase",
     [](const QDir& d) {
         WriteFile(d.filePath(kDatabase), QByteArray());
     },
     0, "ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました ", true, 1},
    {"DatabaseHeldBySecondProcess", [](const QDir&) {}, 1, "は他のプログラムが使用中です", false, 0, false, true,
     nullptr, true},
    // The price file.
    {"PriceFileDanglingLink",
     [](const QDir& d) {
         QFile::remove(d.filePath(kPriceFile));
         QFile::link(d.filePath("gone.csv"), d.filePath(kPriceFile));
     },
     0, "CSV ﾌｧｲﾙが見つかりませんでした"},
    {"PriceFileUnreadable",
     [](const QDir& d) {
         MakeUnreadable(d.filePath(kPriceFile));
         MakeWritableForAll(d.path(), d.filePath(kDatabase));
     },
     1, "CSV ﾌｧｲﾙを開けません: 読み取りの権限がありません (tarvok_stock_average_daily_jp.csv)", true, 1, true},
    {"PriceFileWithNulCharacter",
     [](const QDir& d) {
         QByteArray bytes = ReadFile(d.filePath(kPriceFile));
         bytes.insert(bytes.indexOf("\r\n2020/01/05") + 14, '\0');
         WriteFile(d.filePath(kPriceFile), bytes);
     },
     1, "NUL 文字 (コード 0) を含む行は読み込めません (6行目)"},
    {"PriceFileOf200000Rows",
     [](const QDir& d) {
         WriteFile(d.filePath(kPriceFile), SmallPriceFile(200000, QDate(1500, 1, 1)));
     },
     0, "ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます", true, 1, false, true, "200000件 読込終了"},
    // The register's sizes.
    {"InputSizeAbc", LastRunInputSize("abc"), 1, "'abc' は整数ではありません"},
    {"InputSizeZero", LastRunInputSize("0"), 1, "入力層のﾆｭｰﾛﾝ数 '0' は 1 から 9999 までの整数で指定してください"},
    {"InputSizeNegative", LastRunInputSize("-3"), 1,
     "入力層のﾆｭｰﾛﾝ数 '-3' は 1 から 9999 までの整数で指定してください"},
    {"InputSizeHuge", LastRunInputSize("99999999"), 1,
     "入力層のﾆｭｰﾛﾝ数 '99999999' は 1 から 9999 までの整数で指定してください"},
    {"OutputSizeAbc", LastRunOutputSize("abc"), 1, "'abc' は整数ではありません"},
    {"OutputSizeNegative", LastRunOutputSize("-3"), 1,
     "出力層のﾆｭｰﾛﾝ数 '-3' は 1 から 9999 までの整数で指定してください"},
    {"OutputSizeHuge", LastRunOutputSize("99999999"), 1,
     "出力層のﾆｭｰﾛﾝ数 '99999999' は 1 から 9999 までの整数で指定してください"},
};

class FaultTest : public ::testing::TestWithParam<TFaultCase> {};

TEST_P(FaultTest, TellsTheUserAndKeepsEveryRegisteredRun)
{
    const TFaultCase& c = GetParam();
    if (c.AsOtherUser && !CanDropRights())
        GTEST_SKIP() << "running as root without setpriv: file permissions cannot be tested";
    const TBaseFolder& base = TBaseFolder::Get();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    base.WriteInto(dir);
    c.Damage(dir);
    const QStringList rowsBefore = c.RegisterReadable ? RegisterRows(dir.filePath(kDatabase)) : QStringList();
    const QByteArray bytesBefore = QFileInfo(dir.filePath(kDatabase)).isFile() ? ReadFile(dir.filePath(kDatabase))
                                                                                : QByteArray();
    std::shared_ptr<void> hold = c.HoldDatabase ? HoldDatabase(dir.filePath(kDatabase)) : nullptr;

    const TRun run = RunBatch(folder.path(), Args(c), c.AsOtherUser);
    hold.reset();
    RestoreRights(folder.path());

    EXPECT_TRUE(run.Finished) << "the program crashed or hung";
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err.join('\n').toStdString();
    const QString expected = QString::fromUtf8(c.Message);
    EXPECT_TRUE(std::any_of(run.Err.begin(), run.Err.end(),
                            [&](const QString& line) { return line.contains(expected); }))
        << "expected \"" << c.Message << "\" among:\n" << run.Err.join('\n').toStdString();
    if (c.LogLine) {
        EXPECT_TRUE(run.Out.contains(QString::fromUtf8(c.LogLine))) << run.Out.join('\n').toStdString();
    }

    if (c.RegisterReadable) {
        const QStringList rowsAfter = RegisterRows(dir.filePath(kDatabase));
        ASSERT_GE(rowsAfter.size(), rowsBefore.size());
        EXPECT_EQ(rowsAfter.mid(0, rowsBefore.size()), rowsBefore);
        EXPECT_EQ(rowsAfter.size(), rowsBefore.size() + c.RowsAdded);
        EXPECT_EQ(IntegrityCheck(dir.filePath(kDatabase)), QStringLiteral("ok"));
    } else if (!bytesBefore.isNull()) {
        EXPECT_EQ(ReadFile(dir.filePath(kDatabase)), bytesBefore) << "a damaged database file was changed";
    }
    // Only a database that was empty or missing may have been created.
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("SQDB.DB-journal"))));
}

INSTANTIATE_TEST_SUITE_P(Files, FaultTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TFaultCase>& info) { return info.param.Name; });

// A catalogue changed by hand so that its values would change statements:
// the value is refused with a message naming it, the catalogue is rebuilt
// from its files, and a remark written to inject a row is stored as the
// remark it is, with no other row.
struct TTamperCase {
    const char* Name;
    const char* Tamper;    // run on the database first
    const char* Message;   // the refusal, or its beginning
};

void PrintTo(const TTamperCase& c, std::ostream* os) { *os << c.Name; }

const TTamperCase kTamperCases[] = {
    {"RemarkDeclaredInteger", "update AAATST set KT = 'Integer' where TBID = 4 and CNAM = 'TYO'",
     "ﾃｰﾌﾞﾙ構造 AAATST の KT の値 'Integer' (AYFS の列 TYO) は使えません"},
    {"SubqueryAsColumnName",
     "update AAATST set CNAM = '(select count(*) from sqlite_master) as MSE' where TBID = 4 and CNAM = 'MSE'",
     "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 '(select count(*) from sqlite_master) as MSE' (AYFS の 12 番目の列) は使えません"},
    {"ConditionAsTableId", "update AAATBN set TBID = '4 or 1=1' where TNAM = 'AYFS'",
     "ﾃｰﾌﾞﾙ構造 AAATBN の TBID の値 '4 or 1=1' (ﾃｰﾌﾞﾙ AYFS) は使えません"},
    {"StackedDropInType", "update AAATST set KT = 'nchar(40); drop table AYFS; --' where TBID = 4 and CNAM = 'TYO'",
     "ﾃｰﾌﾞﾙ構造 AAATST の KT の値 'nchar(40); drop table AYFS; --' (AYFS の列 TYO) は使えません"},
    {"HugeDisplayWidth", "update AAATST set DPW = 2147483647 where TBID = 4 and CNAM = 'MSE'",
     "ﾃｰﾌﾞﾙ構造 AAATST の DPW の値 '2147483647' (AYFS の列 MSE) は使えません"},
};

class TamperedCatalogueTest : public ::testing::TestWithParam<TTamperCase> {};

TEST_P(TamperedCatalogueTest, RefusedRebuiltAndNothingInjected)
{
    const TTamperCase& c = GetParam();
    const TBaseFolder& base = TBaseFolder::Get();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    const QString database = dir.filePath(kDatabase);
    base.WriteInto(dir);
    ExecOnFile(database, {QString::fromUtf8(c.Tamper)});

    // As long as the remark's column (40) holds: a longer one is refused.
    const QString remark = QStringLiteral("0), (999,'a','b'),(998,'INJECTED'); --'");
    const TRun run = RunBatch(folder.path(), {"--passes", "1", "--register", remark});
    EXPECT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.join('\n').toStdString();
    const QString refusal = QString::fromUtf8(c.Message);
    EXPECT_TRUE(std::any_of(run.Err.begin(), run.Err.end(), [&](const QString& m) { return m.startsWith(refusal); }))
        << run.Err.join('\n').toStdString();
    EXPECT_TRUE(run.Err.contains(QStringLiteral("ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました "))) << "the catalogue was not rebuilt";

    const QStringList rows = RegisterRows(database);
    ASSERT_EQ(rows.size(), base.Rows.size() + 1) << rows.join('\n').toStdString();
    EXPECT_EQ(rows.mid(0, base.Rows.size()), base.Rows);
    EXPECT_TRUE(rows.last().startsWith(QStringLiteral("3|"))) << rows.last().toStdString();
    // The remark as text, whole.
    EXPECT_TRUE(rows.last().endsWith(QStringLiteral("|") + remark)) << rows.last().toStdString();
    EXPECT_EQ(Sqlite3Lines(database, "select count(*) from AYFS where CNT >= 998 or TYO = 'INJECTED'"),
              QStringList{"0"});
    EXPECT_EQ(Sqlite3Lines(database, "select count(*) from AAATBN; select count(*) from AAATST"),
              QStringList({"5", "50"}));
    EXPECT_EQ(IntegrityCheck(database), QStringLiteral("ok"));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, TamperedCatalogueTest, ::testing::ValuesIn(kTamperCases),
                         [](const ::testing::TestParamInfo<TTamperCase>& info) { return info.param.Name; });

// Something under the price file's name that is not a regular file: the
// import answers at once (a FIFO would wait for a writer for ever, a device
// never ends) with a message that says what it is, and nothing changes.
struct TNotAFileCase {
    const char* Name;
    std::function<bool(const QString& path)> Make;
    const char* Reason;
};

void PrintTo(const TNotAFileCase& c, std::ostream* os) { *os << c.Name; }

const TNotAFileCase kNotAFileCases[] = {
    {"Directory", [](const QString& p) { return QDir().mkdir(p); }, "通常のファイルではなくディレクトリです"},
    {"Fifo", [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; },
     "通常のファイルではなく名前付きパイプ (FIFO) です"},
    {"LinkToDevZero", [](const QString& p) { return QFile::link("/dev/zero", p); }, "通常のファイルではなくデバイスです"},
    {"LinkToDevNull", [](const QString& p) { return QFile::link("/dev/null", p); }, "通常のファイルではなくデバイスです"},
};

class PriceFileNotAFileTest : public ::testing::TestWithParam<TNotAFileCase> {};

TEST_P(PriceFileNotAFileTest, AnswersAtOnceAndChangesNothing)
{
    const TNotAFileCase& c = GetParam();
    const TBaseFolder& base = TBaseFolder::Get();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    base.WriteInto(dir, false);
    ASSERT_TRUE(c.Make(dir.filePath(kPriceFile)));

    const TRun run = RunBatch(folder.path(), {"--passes", "1"}, false, 60 * 1000);
    ASSERT_TRUE(run.Finished) << "the program hung or crashed: " << run.Err.join('\n').toStdString();
    EXPECT_EQ(run.ExitCode, 1);
    const int notice = int(run.Err.indexOf(QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")));
    ASSERT_GE(notice, 0) << run.Err.join('\n').toStdString();
    ASSERT_LT(notice + 1, run.Err.size());
    EXPECT_EQ(run.Err[notice + 1], QStringLiteral("CSV ﾌｧｲﾙを開けません: %1 (%2)").arg(QString::fromUtf8(c.Reason), kPriceFile));
    EXPECT_LT(run.ErrAt[notice + 1] - run.ErrAt[notice], 1000) << "ms from the notice to the answer";
    EXPECT_EQ(RegisterRows(dir.filePath(kDatabase)), base.Rows);
    EXPECT_EQ(IntegrityCheck(dir.filePath(kDatabase)), QStringLiteral("ok"));
}

INSTANTIATE_TEST_SUITE_P(Files, PriceFileNotAFileTest, ::testing::ValuesIn(kNotAFileCases),
                         [](const ::testing::TestParamInfo<TNotAFileCase>& info) { return info.param.Name; });

}  // namespace
