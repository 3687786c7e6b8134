// The database's errors as the user reads them: one Japanese text for each
// error SQLite reports, found by its result code, with SQLite's own text
// after it; and the errors of real files, each met as the program meets it.
#include "base/Errors.h"
#include "db/Connection.h"
#include "db/Data.h"
#include "support/PrintQString.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(DatabaseReason, EachResultCodeHasItsOwnText)
{
    struct TCase {
        int Code;
        const char* Text;
    };
    const TCase cases[] = {
        {1, "SQL 文を実行できません"},
        {5, "データベースは他のプログラムが使用中です"},
        {6, "データベースのテーブルがロックされています"},
        {8, "データベースが読み取り専用のため書き込めません"},
        {10, "データベースファイルの読み書き中に入出力エラーが起きました"},
        {266, "データベースファイルの読み書き中に入出力エラーが起きました"},   // SQLITE_IOERR_READ
        {11, "データベースファイルが壊れています"},
        {13, "ディスクの空き容量が足りないため、データベースに書き込めません"},
        {14, "データベースファイルを開けません"},
        {19, "データベースの制約により書き込めません"},
        {1555, "データベースの制約により書き込めません"},                       // SQLITE_CONSTRAINT_PRIMARYKEY
        {26, "データベースファイルではありません"},
        {3, "データベースへのアクセスが許可されていません"},
        {16, "データベースエラー (コード 16)"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SqliteCodeText(c.Code), QString::fromUtf8(c.Text)) << c.Code;

    // Found by the code, whatever the English says; SQLite's text follows.
    EXPECT_EQ(DatabaseReason(QSqlError("Unable to execute statement", "database or disk is full",
                                       QSqlError::StatementError, "13")),
              "ディスクの空き容量が足りないため、データベースに書き込めません (database or disk is full)");
    EXPECT_EQ(DatabaseReason(QSqlError("Unable to fetch row", "blocked", QSqlError::StatementError, "6")),
              "データベースのテーブルがロックされています (blocked)");
    // An error of Qt's own has no code: its kind gives the text.
    EXPECT_EQ(DatabaseReason(QSqlError("Driver not loaded", "", QSqlError::ConnectionError)),
              "データベースに接続できません (Driver not loaded)");
    EXPECT_EQ(DatabaseReason(QSqlError("", "", QSqlError::TransactionError)), "トランザクションを処理できません");
    EXPECT_EQ(DatabaseMessage(QSqlError(), " select 1"), "データベースエラー: データベースが理由を返しませんでした\nselect 1");
    EXPECT_EQ(DatabaseMessage(QSqlError(), ""), "データベースエラー: 実行する SQL 文がありません");
}

// Files the program is given where SQDB.DB should be, opened as it opens it.
class DatabaseFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override
    {
        for (const QString& name : names) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }
    QSqlDatabase Connection(const QString& file)
    {
        names << NextConnectionName("test");
        QSqlDatabase db = AddConnection(names.back());
        db.setDatabaseName(file);
        return db;
    }
    // What opening the file as the program does raises.
    QString OpenFailure(const QString& file)
    {
        try {
            OpenConnection(Connection(file));
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return QStringLiteral("<opened>");
    }
    static QString Failure(const QSqlDatabase& db, const QString& sql)
    {
        try {
            ExecSql(db, sql);
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return QStringLiteral("<done>");
    }
    void Write(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString Path(const char* name) const { return QDir::toNativeSeparators(folder.filePath(name)); }
    QTemporaryDir folder;
    QStringList names;
};

TEST_F(DatabaseFile, NotADatabaseOrCorruptIsSaidOfTheFile)
{
    Write(Path("noise.db"), QByteArray(4096, 'x'));
    EXPECT_EQ(OpenFailure(Path("noise.db")),
              "データベース " + Path("noise.db") + " を開けません: データベースファイルではありません (file is not a database)");

    // A database cut in half.
    {
        QSqlDatabase db = Connection(Path("whole.db"));
        OpenConnection(db);
        ExecSql(db, "create table T (A, B)");
        ExecSql(db, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
                    "insert into T select i, hex(randomblob(40)) from n");
        db.close();
    }
    QFile whole(Path("whole.db"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    Write(Path("half.db"), whole.readAll().left(int(whole.size() / 2)));
    EXPECT_EQ(OpenFailure(Path("half.db")),
              "データベース " + Path("half.db")
                  + " を開けません: データベースファイルが壊れています (database disk image is malformed)");
}

TEST_F(DatabaseFile, WhereNoFileCanBeMadeTheFolderIsNamed)
{
    const QString file = Path("none/SQDB.DB");
    EXPECT_EQ(OpenFailure(file), "データベース " + file + " を開けません: フォルダ " + Path("none")
                                     + " がありません (unable to open database file)");
    ASSERT_TRUE(QDir(folder.path()).mkdir("SQDB.DB"));
    Tdm module;
    try {
        module.OpenFile(folder.filePath("SQDB.DB"));
        ADD_FAILURE() << "a directory was opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "データベース " + Path("SQDB.DB") + " を開けません: 通常のファイルではなくディレクトリです");
    }
}

TEST_F(DatabaseFile, HeldReadOnlyAndFullEachSayWhy)
{
    QSqlDatabase first = Connection(Path("SQDB.DB"));
    OpenConnection(first);
    ExecSql(first, "create table T (A)");
    try {
        OpenConnection(Connection(Path("SQDB.DB")));
        ADD_FAILURE() << "opened twice";
    } catch (const EDatabaseInUse& e) {
        EXPECT_EQ(e.Message(), "データベース " + Path("SQDB.DB") + " は他のプログラムが使用中です");
    }

    // A disk that has room for three pages only.
    ExecSql(first, "PRAGMA max_page_count = 3");
    EXPECT_EQ(Failure(first, "insert into T values (zeroblob(100000))"),
              "データベースエラー: ディスクの空き容量が足りないため、データベースに書き込めません (database or disk is full)\n"
              "insert into T values (zeroblob(100000))");
    EXPECT_EQ(Failure(first, "insert into Nope values (1)"),
              "データベースエラー: SQL 文を実行できません (no such table: Nope)\ninsert into Nope values (1)");
    first.close();

    QSqlDatabase readOnly = Connection(Path("SQDB.DB"));
    readOnly.setConnectOptions("QSQLITE_OPEN_READONLY");
    ASSERT_TRUE(readOnly.open());
    EXPECT_EQ(Failure(readOnly, "insert into T values (1)"),
              "データベースエラー: データベースが読み取り専用のため書き込めません (attempt to write a readonly database)\n"
              "insert into T values (1)");
}

}  // namespace
