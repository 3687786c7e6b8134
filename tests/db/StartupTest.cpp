// Start-up of the databases on real folders: a new one, one with a catalogue
// but no application tables, one whose price table holds rows; the catalogue
// rebuild; the file lock.
#include "DbFixture.h"

#include "base/Errors.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QSqlRecord>

namespace {

const QString kBuildMessage = "AAATBN, AAATSTテーブルを作成し、テーブルデータを読み込みます";
const QString kDoneMessage = "ﾃｰﾌﾞﾙ構造ﾃﾞｰﾀ読込完了しました ";

// What SQLite keeps of the catalogue's and the application tables' create texts.
const QString kAaatbnSchema =
    "CREATE TABLE AAATBN ( CNT Integer, BID Integer,  TBID Integer, SKB nchar(4), TNAM nchar(14), TYO nchar(40) )";
const QString kAaatstSchema =
    "CREATE TABLE AAATST ( CNT Integer,  BID Integer, TBID Integer, CID Integer, CNAM nchar(14),  KT nchar(10), "
    "LN Integer , DPW Integer, TYO nchar(40) )";
// AYNK is created in the file with the catalogue's type words, AYFS with nchar.
const QString kAynkSchema =
    "CREATE TABLE AYNK( CNT  Integer,  DATE  varchar(10) ,  TIME  varchar(8) ,  CLOSE  varchar(12) ,  "
    "HG  varchar(12) ,  LG  varchar(12) ,  OPEN  varchar(12) ,  YCL1  Real,  YCL2  Real,  YCL3  Real,  "
    "YCL4  Real,  YCL5  Real,  YCL6  Real,  TYO  varchar(40) )";
const QString kAyfsSchema =
    "CREATE TABLE AYFS( CNT  Integer,  DT  nchar (16) ,  TF  nchar (4) ,  DN  nchar (8) ,  LNN  nchar (8) ,  "
    "LNR  nchar (10) ,  LYIPN  nchar (4) ,  LYM1N  nchar (4) ,  LYM2N  nchar (4) ,  LYOPN  nchar (4) ,  "
    "LNTM  nchar (16) ,  MSE  nchar (14) ,  TYO  nchar (40) )";
// Beside each run: its hold-out days, seed and figures.
const QString kAyksSchema =
    "CREATE TABLE AYKS( CNT  Integer,  VLDN  nchar (8) ,  RSD  nchar (20) ,  VMAE  nchar (14) ,  BMAE  nchar (14) ,  "
    "VRMSE  nchar (14) ,  BRMSE  nchar (14) ,  VHIT  nchar (6) )";
const QString kAynkMemoryCreate =
    " create table if not exists AYNK( CNT  Integer,  DATE  varchar(10) ,  TIME  varchar(8) ,  CLOSE  varchar(12) "
    ",  HG  varchar(12) ,  LG  varchar(12) ,  OPEN  varchar(12) ,  YCL1  Real,  YCL2  Real,  YCL3  Real,  "
    "YCL4  Real,  YCL5  Real,  YCL6  Real,  TYO  varchar(40) ) ";

constexpr int kCatalogueTables = 5;
constexpr int kCatalogueColumns = 6 + 9 + 14 + 13 + 8;

class StartupTest : public DbFixture {
protected:
    bool FileHas(const QString& table)
    {
        return Value(dm->Csq(), QStringLiteral("select count(*) from sqlite_master where name = '%1'").arg(table))
                   .toInt()
            > 0;
    }
    void AddPriceRows(int n)
    {
        QSqlDatabase db = dm->Csq();
        ASSERT_TRUE(db.transaction());
        for (int i = 1; i <= n; ++i)
            Exec(db, QStringLiteral("insert into AYNK (CNT, DATE, CLOSE) values (%1, '2020/04/%2', '3,386.15')")
                         .arg(i)
                         .arg(i % 28 + 1));
        ASSERT_TRUE(db.commit());
    }
};

TEST_F(StartupTest, NewFolderBuildsCatalogueAndTables)
{
    ASSERT_FALSE(QFile::exists(DbPath()));
    form->uqCdb();
    EXPECT_EQ(messages, (QStringList{kBuildMessage, kDoneMessage}));
    EXPECT_TRUE(QFile::exists(DbPath()));
    const QSqlDatabase file = dm->Csq();
    EXPECT_EQ(Schema(file, "AAATBN"), kAaatbnSchema);
    EXPECT_EQ(Schema(file, "AAATST"), kAaatstSchema);
    EXPECT_EQ(Schema(file, "AYNK"), kAynkSchema);
    EXPECT_EQ(Schema(file, "AYFS"), kAyfsSchema);
    EXPECT_EQ(Schema(file, "AYKS"), kAyksSchema);
    EXPECT_EQ(Count(file, "AAATBN"), kCatalogueTables);
    EXPECT_EQ(Count(file, "AAATST"), kCatalogueColumns);
    EXPECT_EQ(Value(file, "select TYO from AAATBN where TNAM = 'AYNK'").toString(), "日足株価");

    const QSqlDatabase memory = dm->CsqM();
    EXPECT_EQ(Count(memory, "AAATBN"), kCatalogueTables);
    EXPECT_EQ(Count(memory, "AAATST"), kCatalogueColumns);
    EXPECT_EQ(Count(memory, "AYNK"), 0);
    EXPECT_EQ(form->stdb, "csqM");
    EXPECT_EQ(form->stnm, "AYNK");
    EXPECT_EQ(form->sqw, kAynkMemoryCreate);
}

// A file made before the catalogue existed receives it; its rows stay.
TEST_F(StartupTest, FileWithoutCatalogueReceivesIt)
{
    dm->OpenFile(DbPath());
    Exec(dm->Csq(), "create table AYFS ( CNT Integer, DT nchar(16) )");
    Exec(dm->Csq(), "insert into AYFS values (1, '2026/12/10 09:05')");
    form->uqCdb();
    EXPECT_EQ(messages, (QStringList{kBuildMessage, kDoneMessage}));
    EXPECT_EQ(Count(dm->Csq(), "AAATST"), kCatalogueColumns);
    EXPECT_EQ(Value(dm->Csq(), "select DT from AYFS where CNT = 1").toString(), "2026/12/10 09:05");
    EXPECT_EQ(Schema(dm->Csq(), "AYNK"), kAynkSchema);
}

// The in-memory price table carries an index on CNT that no statement sees.
TEST_F(StartupTest, MemoryPriceTableIndexedOnCnt)
{
    form->uqCdb();
    const QSqlDatabase memory = dm->CsqM();
    EXPECT_EQ(Value(memory, "select sql from sqlite_master where type = 'index' and tbl_name = 'AYNK'").toString(),
              "CREATE INDEX AYNK_CNT on AYNK ( CNT )");
    QSqlQuery query(memory);
    ASSERT_TRUE(query.exec("select * from AYNK"));
    EXPECT_EQ(query.record().count(), 14);
}

TEST_F(StartupTest, CompleteCatalogueWithoutApplicationTables)
{
    dm->OpenFile(DbPath());
    form->uqTst(3);
    ASSERT_EQ(messages.size(), 2);
    messages.clear();
    ASSERT_FALSE(FileHas("AYNK"));
    ASSERT_FALSE(FileHas("AYFS"));
    ASSERT_FALSE(FileHas("AYKS"));

    form->uqCdb();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    EXPECT_EQ(Schema(dm->Csq(), "AYNK"), kAynkSchema);
    EXPECT_EQ(Schema(dm->Csq(), "AYFS"), kAyfsSchema);
    EXPECT_EQ(Schema(dm->Csq(), "AYKS"), kAyksSchema);
    EXPECT_EQ(Count(dm->CsqM(), "AYNK"), 0);
    EXPECT_EQ(Count(dm->CsqM(), "AAATST"), kCatalogueColumns);
}

struct TDamagedCatalogue {
    const char* name;
    QStringList damage;   // statements on a complete file with two registered runs
    QString refusal;      // the message before the rebuild's two; empty: none
};

class DamagedCatalogueTest : public StartupTest, public ::testing::WithParamInterface<TDamagedCatalogue> {};

// A catalogue that does not describe the program's tables completely (as an
// interrupted first start of an earlier version left it, or changed by hand)
// is rebuilt at start-up; a refused value is named first.  The registered
// runs stay as they were.
TEST_P(DamagedCatalogueTest, RebuiltKeepingTheRegister)
{
    const TDamagedCatalogue& c = GetParam();
    form->uqCdb();
    Exec(dm->Csq(), "insert into AYFS (CNT, DT, TYO) values (1, '2026/01/01 10:00', 'it''s')");
    Exec(dm->Csq(), "insert into AYFS (CNT, DT, TYO) values (2, '2026/01/02 10:00', NULL)");
    for (const QString& sql : c.damage)
        Exec(dm->Csq(), sql);
    messages.clear();

    form->uqCdb();
    QStringList expected{kBuildMessage, kDoneMessage};
    if (!c.refusal.isEmpty())
        expected.prepend(c.refusal);
    EXPECT_EQ(messages, expected);
    const QSqlDatabase file = dm->Csq();
    EXPECT_EQ(Count(file, "AAATBN"), kCatalogueTables);
    EXPECT_EQ(Count(file, "AAATST"), kCatalogueColumns);
    EXPECT_EQ(Value(file, "select group_concat(CNT || ':' || ifnull(TYO, '-'), ' ') from AYFS").toString(),
              "1:it's 2:-");
    EXPECT_EQ(Schema(file, "AYKS"), kAyksSchema);
    EXPECT_EQ(Count(dm->CsqM(), "AAATST"), kCatalogueColumns);

    messages.clear();
    form->uqCdb();   // complete now: not rebuilt again
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Start, DamagedCatalogueTest,
    ::testing::Values(
        TDamagedCatalogue{"TableRowMissing", {"delete from AAATBN where TNAM = 'AYFS'"}, ""},
        // As the program left it before the register kept hold-out figures.
        TDamagedCatalogue{"WithoutTheFiguresTable",
                          {"delete from AAATST where TBID = 5", "delete from AAATBN where TNAM = 'AYKS'",
                           "drop table AYKS"},
                          ""},
        TDamagedCatalogue{"LastColumnMissing", {"delete from AAATST where TBID = 4 and CNAM = 'TYO'"}, ""},
        TDamagedCatalogue{"ColumnRowsEmpty", {"delete from AAATST"}, ""},
        TDamagedCatalogue{"ColumnsOutOfOrder", {"update AAATST set CNT = 99 where TBID = 3 and CNAM = 'DATE'"}, ""},
        TDamagedCatalogue{"ExtraColumn",
                          {"insert into AAATST values (14, 2, 4, 43, 'EXTRA', 'varchar', 4, 4, '')"}, ""},
        TDamagedCatalogue{"CatalogueTableLacksAColumn",
                          {"drop table AAATST", "create table AAATST ( CNT Integer, TBID Integer, CNAM nchar(14) )"},
                          ""},
        TDamagedCatalogue{"RemarkIsANumberColumn",
                          {"update AAATST set KT = 'Integer' where TBID = 4 and CNAM = 'TYO'"},
                          "ﾃｰﾌﾞﾙ構造 AAATST の KT の値 'Integer' (AYFS の列 TYO) は使えません: "
                          "この列は文字列の型 (varchar か nchar) にしてください"},
        TDamagedCatalogue{"RowNumberIsATextColumn",
                          {"update AAATST set KT = 'varchar' where TBID = 3 and CNAM = 'CNT'"},
                          "ﾃｰﾌﾞﾙ構造 AAATST の KT の値 'varchar' (AYNK の列 CNT) は使えません: "
                          "この列は数値の型 (varchar と nchar 以外) にしてください"},
        TDamagedCatalogue{"SubqueryAsColumnName",
                          {"update AAATST set CNAM = '(select count(*) from sqlite_master) as MSE' "
                           "where TBID = 4 and CNAM = 'MSE'"},
                          "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 '(select count(*) from sqlite_master) as MSE' "
                          "(AYFS の 12 番目の列) は使えません: 英字、数字、_ からなり数字で始まらない名前にしてください"},
        TDamagedCatalogue{"ConditionAsTableId", {"update AAATBN set TBID = '4 or 1=1' where TNAM = 'AYFS'"},
                          "ﾃｰﾌﾞﾙ構造 AAATBN の TBID の値 '4 or 1=1' (ﾃｰﾌﾞﾙ AYFS) は使えません: "
                          "0 から 1000000 までの整数にしてください"},
        TDamagedCatalogue{"HugeDisplayWidth",
                          {"update AAATST set DPW = 2147483647 where TBID = 3 and CNAM = 'DATE'"},
                          "ﾃｰﾌﾞﾙ構造 AAATST の DPW の値 '2147483647' (AYNK の列 DATE) は使えません: "
                          "0 から 10000 までの整数にしてください"}),
    [](const auto& info) { return std::string(info.param.name); });

// File rows cross the copy's batches of 100 and are held once, however often
// start-up runs.
TEST_F(StartupTest, FilePricesCopiedOnce)
{
    form->uqCdb();
    AddPriceRows(250);
    for (int run = 1; run <= 2; ++run) {
        form->uqCdb();
        const QSqlDatabase memory = dm->CsqM();
        EXPECT_EQ(Count(memory, "AYNK"), 250) << run;
        EXPECT_EQ(Value(memory, "select count(distinct CNT) from AYNK").toInt(), 250) << run;
        EXPECT_EQ(Value(memory, "select CLOSE from AYNK where CNT = 250").toString(), "3,386.15") << run;
        EXPECT_EQ(Count(memory, "AAATBN"), kCatalogueTables) << run;
        EXPECT_EQ(Count(memory, "AAATST"), kCatalogueColumns) << run;
    }
    EXPECT_EQ(messages.size(), 2);   // the catalogue was built once, at the first start
}

TEST_F(StartupTest, PriceGridOnLastRowWithCatalogueWidths)
{
    form->uqCdb();
    AddPriceRows(3);
    form->uqCdb();
    form->uqb(1);
    TQuery& qb = dm->qb;
    EXPECT_EQ(form->sqw,
              " select CNT, DATE, TIME, CLOSE, HG, LG, OPEN, YCL1, YCL2, YCL3, YCL4, YCL5, YCL6, TYO from AYNK");
    EXPECT_TRUE(form->swh.isEmpty());
    ASSERT_TRUE(qb.Active());
    EXPECT_EQ(qb.FieldCount(), 14);
    EXPECT_EQ(qb.RecordCount(), 3);
    EXPECT_EQ(qb.RecNo(), 2);
    EXPECT_EQ(qb.FieldText("CNT"), "3");
    const int widths[14] = {5, 10, 5, 9, 9, 9, 9, 8, 8, 8, 8, 8, 8, 12};
    for (int k = 0; k < 14; ++k)
        EXPECT_EQ(qb.DisplayWidth(k), widths[k]) << k;

    form->stdb = "csq";
    form->stnm = "AYFS";
    form->sqw = "kept";
    form->uqb(2);
    EXPECT_EQ(form->stdb, "csqM");
    EXPECT_EQ(form->stnm, "AYNK");
    EXPECT_EQ(form->sqw, "kept");
}

TEST_F(StartupTest, EmptyPriceGrid)
{
    form->uqCdb();
    form->uqb(1);
    EXPECT_TRUE(dm->qb.Active());
    EXPECT_EQ(dm->qb.RecNo(), -1);
    EXPECT_TRUE(dm->qb.Eof());
}

class CatalogueFilesTest : public StartupTest {
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        ASSERT_TRUE(catalogue.isValid());
        previousCatalogue = SetCatalogueDirectory(catalogue.path());
    }
    void TearDown() override
    {
        SetCatalogueDirectory(previousCatalogue);
        StartupTest::TearDown();
    }
    void Write(const char* name, const QByteArray& bytes)
    {
        QFile file(QDir(catalogue.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A catalogue file as the program carries it.
    static QByteArray Source(const char* name)
    {
        QFile file(QDir(QStringLiteral(BRELVAN_DATA_DIR)).filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        return file.readAll();
    }
    QTemporaryDir catalogue;
    QString previousCatalogue;
};

// The catalogue files are looked for beside the program first, then in the
// installed data folder, then in the folder named at build time; without
// them anywhere the place beside the program is named.
TEST(FindCatalogueDirectoryTest, TakesTheFirstFolderHoldingTheFiles)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir top(root.path());
    const QString program = top.filePath("app/bin");
    const QString beside = top.filePath("app/bin/data");
    const QString installed = top.filePath("app/share/brelvan");
    const QString builtIn = top.filePath("source/data");
    for (const QString& dir : {beside, installed, builtIn})
        ASSERT_TRUE(QDir().mkpath(dir));
    const auto put = [](const QString& dir, const char* name) {
        QFile file(QDir(dir).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };

    EXPECT_EQ(FindCatalogueDirectory(program, builtIn), beside);
    EXPECT_EQ(FindCatalogueDirectory(QString(), builtIn), builtIn);
    EXPECT_EQ(FindCatalogueDirectory(QString(), QString()), QString());
    put(builtIn, "tbl.csv");
    EXPECT_EQ(FindCatalogueDirectory(program, builtIn), builtIn);
    put(installed, "tblstrc.csv");
    EXPECT_EQ(FindCatalogueDirectory(program, builtIn), installed);
    put(beside, "tbl.csv");
    EXPECT_EQ(FindCatalogueDirectory(program, builtIn), beside);
}

// Without its files the catalogue cannot be built: one error naming the
// folder, and nothing created or dropped.
TEST_F(CatalogueFilesTest, MissingFilesNameTheFolderAndChangeNothing)
{
    const QString expected = QStringLiteral("テーブル構造ファイル tbl.csv, tblstrc.csv をフォルダ %1 から読み込めません")
                                 .arg(QDir::toNativeSeparators(catalogue.path()));
    try {
        form->uqCdb();
        FAIL() << "start-up went on";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.Message(), expected);
    }
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(FileHas("AAATBN"));
    EXPECT_FALSE(FileHas("AAATST"));

    // An existing catalogue stays whole when only one file is missing.
    dm->qw.Close();
    Exec(dm->Csq(), "create table AAATBN ( CNT Integer )");
    Exec(dm->Csq(), "insert into AAATBN values (1)");
    Write("tbl.csv", "1,1,1,KTBL,AAATBN,x\r\n");
    try {
        form->uqTst(3);
        FAIL() << "rebuild went on";
    } catch (const EFileError& e) {
        EXPECT_TRUE(e.Message().contains("tblstrc.csv")) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QDir::toNativeSeparators(catalogue.path())));
    }
    EXPECT_EQ(Count(dm->Csq(), "AAATBN"), 1);
    EXPECT_TRUE(messages.isEmpty());
}

// The rebuild reads Shift-JIS lines, keeps quotes as data and skips lines
// whose statement fails (an empty line) or whose number field holds no
// number (a word, a subquery that would run).
TEST_F(CatalogueFilesTest, RebuildKeepsQuotesAndSkipsBadLines)
{
    Write("tbl.csv", QByteArray("1,1,1,KTBL,AAATBN,O'Neil's\r\n\r\n2,x,2,KTST,AAATST,bad\r\n"
                                "4,(select count(*) from sqlite_master),4,GAKU,AYFS,sub\r\n3,,3,,AYNK,")
                         + QByteArray("\x93\xfa\x91\xab", 4) + "\r\n");   // 日足 in Shift-JIS
    Write("tblstrc.csv", "1,1,3,1,CNT,Integer,,5,it's\n");
    dm->OpenFile(DbPath());
    form->uqTst(3);
    EXPECT_EQ(messages, (QStringList{kBuildMessage, kDoneMessage}));
    const QSqlDatabase file = dm->Csq();
    EXPECT_EQ(Count(file, "AAATBN"), 2);
    EXPECT_EQ(Value(file, "select TYO from AAATBN where CNT = 1").toString(), "O'Neil's");
    EXPECT_EQ(Value(file, "select TYO from AAATBN where CNT = 3").toString(), "日足");
    EXPECT_TRUE(Value(file, "select BID from AAATBN where CNT = 3").isNull());
    EXPECT_TRUE(Value(file, "select SKB from AAATBN where CNT = 3").isNull());
    EXPECT_EQ(Value(file, "select TYO from AAATST").toString(), "it's");
}

// Catalogue files that do not describe the program's tables: the rebuild
// runs, and start-up then ends with what is missing or refused.
TEST_F(CatalogueFilesTest, IncompleteFilesEndStartUpNamingWhatIsWrong)
{
    const QByteArray tbl = Source("tbl.csv");
    const QByteArray tblstrc = Source("tblstrc.csv");
    const QString head = QStringLiteral("テーブル構造ファイル (フォルダ %1) から作ったﾃｰﾌﾞﾙ構造が不完全です: ")
                             .arg(QDir::toNativeSeparators(catalogue.path()));
    const struct {
        QByteArray tbl, tblstrc;
        QString expected;
    } cases[] = {
        {tbl.left(tbl.lastIndexOf("4,2,4,")), tblstrc, head + "AYFS ﾃｰﾌﾞﾙ名が見つかりません"},
        {tbl, QByteArray(tblstrc).replace(",MSE,", ",MSE; drop table AYFS,"),
         head + "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 'MSE; drop table AYFS' (AYFS の 12 番目の列) は使えません: "
                "英字、数字、_ からなり数字で始まらない名前にしてください"},
    };
    for (const auto& c : cases) {
        Write("tbl.csv", c.tbl);
        Write("tblstrc.csv", c.tblstrc);
        messages.clear();
        try {
            form->uqCdb();
            ADD_FAILURE() << "start-up went on";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), c.expected);
        }
        EXPECT_EQ(messages, (QStringList{kBuildMessage, kDoneMessage}));
    }
}

#ifndef Q_OS_WIN
// While the program runs, SQDB.DB is held exclusively from the moment it is
// opened: another program (the sqlite3 shell, which the Windows build has
// not) can neither write nor read it, and gets an error at once instead of
// waiting.
TEST_F(StartupTest, SecondProgramCannotUseTheFile)
{
    form->uqCdb();
    dm->OpenFile(DbPath());   // opened again: nothing written since
    const auto runSqlite = [this](const QString& sql) {
        QProcess sqlite;
        sqlite.start("sqlite3", {DbPath(), sql});
        EXPECT_TRUE(sqlite.waitForFinished(10000));
        return std::make_pair(sqlite.exitCode(), QString::fromUtf8(sqlite.readAllStandardError()));
    };
    for (const char* sql : {"insert into AYFS (CNT) values (99);", "select count(*) from AAATBN;"}) {
        const auto [code, error] = runSqlite(sql);
        EXPECT_NE(code, 0) << sql;
        EXPECT_TRUE(error.contains("database is locked")) << error.toStdString();
    }

    form.reset();
    dm = nullptr;
    module.reset();   // the program ends: the file is free again
    const auto [code, error] = runSqlite("insert into AYFS (CNT) values (99);");
    EXPECT_EQ(code, 0) << error.toStdString();
}
#endif

TEST_F(StartupTest, SecondModuleGetsClearInUseError)
{
    form->uqCdb();
    Tdm second;
    try {
        second.OpenFile(DbPath());
        FAIL() << "second module opened the file";
    } catch (const EDatabaseInUse& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("データベース %1 は他のプログラムが使用中です").arg(QDir::toNativeSeparators(DbPath())));
    }
    // The first module goes on working.
    form->sqw = "insert into AYFS (CNT) values (1)";
    form->uexSql();
    EXPECT_TRUE(form->LastSqlOk) << form->LastSqlError.toStdString();
}

}  // namespace
