// The statement builder and the execute operations on a real catalogue.
#include "DbFixture.h"

#include "base/Errors.h"
#include "db/SqlText.h"

namespace {

class StatementTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        dm->OpenFile(DbPath());
        db = dm->Csq();
        Exec(db, SqlText::CreateAaatbn);
        Exec(db, SqlText::CreateAaatst);
        AddTable(1, "X", {{"A", "'Integer'", "NULL"}, {"B", "'varchar'", "4"}, {"C", "'Integer'", "NULL"}});
        AddTable(2, "Y", {{"A", "'Integer'", "NULL"}, {"B", "'varchar'", "NULL"}, {"C", "'Integer'", "NULL"}});
        AddTable(3, "Q", {{"CNT", "'Integer'", "NULL"}, {"TYO", "'nchar'", "40"}});
        AddTable(4, "W50", Numbered(50));
        AddTable(5, "W51", Numbered(51));
    }
    void TearDown() override
    {
        db = QSqlDatabase();   // the module removes its connections
        DbFixture::TearDown();
    }

    struct Column {
        QString name, kt, ln;
    };
    static QVector<Column> Numbered(int n)
    {
        QVector<Column> columns;
        for (int i = 1; i <= n; ++i)
            columns.push_back({QStringLiteral("N%1").arg(i), "'Integer'", "NULL"});
        return columns;
    }
    // Catalogue rows in reverse order, so that only CNT can put them in order.
    void AddTable(int tbid, const QString& name, const QVector<Column>& columns)
    {
        Exec(db, QStringLiteral("insert into AAATBN values (%1, 1, %1, 'TEST', '%2', '')").arg(tbid).arg(name));
        for (int k = columns.size(); k >= 1; --k) {
            const Column& c = columns[k - 1];
            Exec(db, QStringLiteral("insert into AAATST values (%1, 1, %2, %1, '%3', %4, %5, 4, '')")
                         .arg(k).arg(tbid).arg(c.name, c.kt, c.ln));
        }
    }

    QSqlDatabase db;
};

struct TextCase {
    const char* name;
    int id;
    QString stnm, stdb, swh;
    QStringList values;   // from sa[11]
    QString expected;
};

class StatementTextTest : public StatementTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(StatementTextTest, WritesExactText)
{
    const TextCase& c = GetParam();
    form->stnm = c.stnm;
    form->stdb = c.stdb;
    form->swh = c.swh;
    for (int k = 0; k < c.values.size(); ++k)
        form->sa[11 + k] = c.values[k];
    form->ucSql(c.id);
    EXPECT_EQ(form->sqw, c.expected);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StatementTextTest,
    ::testing::Values(
        TextCase{"Select", 1, "X", "csq", " where A = 7", {}, " select A, B, C from X where A = 7"},
        TextCase{"SelectNoClause", 1, "X", "csqM", "", {}, " select A, B, C from X"},
        TextCase{"Insert", 2, "X", "csq", "", {"7", "abcdef", ""},
                 " insert into X ( A, B, C ) values ( 7, 'abcd', NULL ) "},
        TextCase{"InsertAllNull", 2, "X", "csqM", "", {"", "", ""},
                 " insert into X ( A, B, C ) values ( NULL, NULL, NULL ) "},
        TextCase{"InsertNonNumberIsNull", 2, "X", "csq", "", {"abc", "ab", "1.5"},
                 " insert into X ( A, B, C ) values ( NULL, 'ab', 1.5 ) "},
        TextCase{"InsertNumberColumnTakesNoSql", 2, "X", "csq", "", {"0), (999, 'x', 3", "ab", "1"},
                 " insert into X ( A, B, C ) values ( NULL, 'ab', 1 ) "},
        TextCase{"InsertQuoteDoubled", 2, "X", "csq", "", {"7", "it's", ""},
                 " insert into X ( A, B, C ) values ( 7, 'it''s', NULL ) "},
        TextCase{"InsertTextWithoutLength", 2, "Y", "csq", "", {"1", "abc", "2"},
                 " insert into Y ( A, B, C ) values ( 1, '', 2 ) "},
        TextCase{"CreateFile", 6, "X", "csq", "", {},
                 " create table if not exists X( A  Integer,  B  nchar (4) ,  C  Integer) "},
        TextCase{"CreateMemory", 6, "X", "csqM", "", {},
                 " create table if not exists X( A  Integer,  B  varchar(4) ,  C  Integer) "},
        TextCase{"CreateFileWithoutLength", 6, "Y", "csq", "", {},
                 " create table if not exists Y( A  Integer,  B  nchar ,  C  Integer) "},
        TextCase{"CreateMemoryWithoutLength", 6, "Y", "csqM", "", {},
                 " create table if not exists Y( A  Integer,  B  varchar,  C  Integer) "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatementTest, InsertLeavesLiteralsInSlots)
{
    form->stnm = "X";
    form->sa[11] = "7";
    form->sa[12] = "abcdef";
    form->sa[13] = "";
    form->ucSql(2);
    EXPECT_EQ(form->sa[1], "7, 'abcd', NULL");
    EXPECT_EQ(form->sa[11], "7");
    EXPECT_EQ(form->sa[12], "'abcd'");
    EXPECT_EQ(form->sa[13], "NULL");
    EXPECT_EQ(form->sa[7], "Integer");
}

TEST_F(StatementTest, LookUpSetsTableIdAndKeepsItWhenNotFound)
{
    form->stnm = "Q";
    form->uqTst(2);
    EXPECT_EQ(form->stid, "3");
    form->stnm = "q";   // names are compared exactly
    form->uqTst(2);
    EXPECT_EQ(form->stid, "3");
    EXPECT_EQ(messages, QStringList{"q ﾃｰﾌﾞﾙ名が見つかりません"});
    form->uqTst(4);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(StatementTest, OtherIdsChangeNothing)
{
    form->stnm = "X";
    form->ucSql(6);
    const QString stid = form->stid;
    for (int id : {0, 3, 8, -1}) {
        form->stnm = "Y";
        form->stdb = "csq";
        form->swh = " where A = 1";
        form->sqw = "kept";
        for (int slot = 1; slot <= TSlots::Count; ++slot)
            form->sa[slot] = QString::number(slot);
        form->ucSql(id);
        EXPECT_EQ(form->sqw, "kept") << id;
        EXPECT_EQ(form->stnm, "Y") << id;
        EXPECT_EQ(form->stdb, "csq") << id;
        EXPECT_EQ(form->swh, " where A = 1") << id;
        EXPECT_EQ(form->stid, stid) << id;
        for (int slot = 1; slot <= TSlots::Count; ++slot)
            EXPECT_EQ(form->sa[slot], QString::number(slot)) << id << " slot " << slot;
    }
    EXPECT_TRUE(messages.isEmpty());
}

// A table the catalogue does not list gets no statement: never one made of
// the columns of the table looked up before.
TEST_F(StatementTest, MissingTableGivesMessageAndNoStatement)
{
    form->stnm = "X";
    form->ucSql(6);   // X's id is now the last one found
    form->stdb = "csq";
    Exec(db, "create table NOPE ( A Integer, B nchar(4), C Integer )");
    for (int id : {1, 2, 6}) {
        messages.clear();
        form->stnm = "NOPE";
        form->sa[11] = "1";
        form->ucSql(id);
        EXPECT_EQ(messages, QStringList{"NOPE ﾃｰﾌﾞﾙ名が見つかりません"}) << id;
        EXPECT_TRUE(form->sqw.isEmpty()) << id;
        form->uexSql();
        EXPECT_FALSE(form->LastSqlOk) << id;
    }
    EXPECT_EQ(Count(db, "NOPE"), 0);
}

// The register grid's select: a table's columns and then its detail table's
// (the key once), every row of the table once, beside its last detail row.
TEST_F(StatementTest, SelectWithDetailJoinsTheLastDetailRowByKey)
{
    AddTable(6, "D", {{"CNT", "'Integer'", "NULL"}, {"V", "'varchar'", "8"}});
    form->stnm = "Q";
    form->swh = "";
    std::vector<int> widths;
    EXPECT_EQ(form->ucSqlDetail("D", "CNT", widths), QString());
    EXPECT_EQ(form->sqw, " select Q.CNT, Q.TYO, D.V from Q left join D on D.rowid = ( select max(d.rowid) from D d "
                         "where d.CNT = Q.CNT )");
    EXPECT_EQ(widths, (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(form->stnm, "Q");

    Exec(db, "create table Q ( CNT Integer, TYO nchar(40) )");
    Exec(db, "create table D ( CNT Integer, V varchar(8) )");
    Exec(db, "insert into Q values (1, 'a'), (2, 'b'), (3, 'c')");
    Exec(db, "insert into D values (3, 'old'), (1, 'one'), (3, 'new')");
    QSqlQuery query(db);
    ASSERT_TRUE(query.exec(form->sqw));
    QStringList rows;
    while (query.next())
        rows << query.value(0).toString() + query.value(1).toString() + "|" + query.value(2).toString();
    EXPECT_EQ(rows, QStringList({"1a|one", "2b|", "3c|new"}));
    EXPECT_EQ(query.record().fieldName(2), "V");

    form->stnm = "Q";
    EXPECT_EQ(form->ucSqlDetail("NOPE", "CNT", widths), "NOPE");
    EXPECT_TRUE(form->sqw.isEmpty());
    EXPECT_TRUE(widths.empty());
    EXPECT_EQ(messages, QStringList{"NOPE ﾃｰﾌﾞﾙ名が見つかりません"});
}

TEST_F(StatementTest, TooManyColumnsRaisesRangeError)
{
    form->stnm = "W50";
    for (int slot = 11; slot <= 60; ++slot)
        form->sa[slot] = QString::number(slot);
    form->ucSql(2);
    EXPECT_TRUE(form->sqw.startsWith(" insert into W50 ( N1, N2,"));
    EXPECT_TRUE(form->sqw.endsWith(", 59, 60 ) "));

    form->stnm = "W51";
    try {
        form->ucSql(2);
        FAIL() << "no range error";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "テーブル W51 の列数 51 が挿入できる上限 50 を超えています");
    }
    EXPECT_TRUE(form->sqw.isEmpty());
}

// Quotes are data: each value comes back exactly as written.
TEST_F(StatementTest, QuotedValuesStoredIntact)
{
    form->stnm = "Q";
    form->stdb = "csq";
    form->ucSql(6);
    form->uexSql();
    ASSERT_TRUE(form->LastSqlOk) << form->LastSqlError.toStdString();
    const QStringList values{"it's", "O'Neil", "''", "x'); drop table Q; --", "'"};
    for (int i = 0; i < values.size(); ++i) {
        form->sa[11] = QString::number(i + 1);
        form->sa[12] = values[i];
        form->ucSql(2);
        form->uexSql();
        EXPECT_TRUE(form->LastSqlOk) << form->LastSqlError.toStdString();
        EXPECT_EQ(Value(db, QStringLiteral("select TYO from Q where CNT = %1").arg(i + 1)).toString(), values[i]);
    }
    EXPECT_EQ(Count(db, "Q"), values.size());
}

struct RefusedCase {
    const char* name;
    QString tamper;     // run on the catalogue first
    int id;
    QString stnm;
    QString expected;   // the one message
};

class RefusedRowTest : public StatementTest, public ::testing::WithParamInterface<RefusedCase> {};

// A catalogue value that is no plain name, type word or number is refused
// before any statement is built from it: one message naming the catalogue
// table and column, no statement, nothing run.
TEST_P(RefusedRowTest, NamesTheColumnAndBuildsNothing)
{
    const RefusedCase& c = GetParam();
    Exec(db, c.tamper);
    const int tablesBefore = Value(db, "select count(*) from sqlite_master").toInt();
    form->stnm = c.stnm;
    form->stdb = "csq";
    form->sqw = "select 1";
    form->sa[11] = "1";
    try {
        form->ucSql(c.id);
        FAIL() << "built: " << form->sqw.toStdString();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), c.expected);
    }
    EXPECT_TRUE(form->sqw.isEmpty()) << form->sqw.toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    EXPECT_FALSE(dm->qst.Active());
    EXPECT_EQ(Value(db, "select count(*) from sqlite_master").toInt(), tablesBefore);
}

const QString kNameRule = "英字、数字、_ からなり数字で始まらない名前にしてください";

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RefusedRowTest,
    ::testing::Values(
        RefusedCase{"SubqueryAsColumnName", "update AAATST set CNAM = '(select count(*) from sqlite_master) as C' "
                    "where TBID = 1 and CNT = 3", 1, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 '(select count(*) from sqlite_master) as C' (X の 3 番目の列) "
                    "は使えません: " + kNameRule},
        RefusedCase{"ColumnNameStartsWithDigit", "update AAATST set CNAM = '1B' where TBID = 1 and CNT = 2", 6, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 '1B' (X の 2 番目の列) は使えません: " + kNameRule},
        RefusedCase{"ColumnNameNull", "update AAATST set CNAM = NULL where TBID = 1 and CNT = 1", 2, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の CNAM の値 NULL (X の 1 番目の列) は使えません: " + kNameRule},
        RefusedCase{"StackedStatementInType", "update AAATST set KT = 'Integer); drop table AAATBN; --' "
                    "where TBID = 1 and CNT = 1", 6, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の KT の値 'Integer); drop table AAATBN; --' (X の列 A) は使えません: "
                    "型名は英字の一語か二語 (double precision など) にしてください"},
        RefusedCase{"LengthWithColumn", "update AAATST set LN = '4) , D Integer' where TBID = 1 and CNT = 2", 6,
                    "X", "ﾃｰﾌﾞﾙ構造 AAATST の LN の値 '4) , D Integer' (X の列 B) は使えません: "
                    "0 から 10000 までの整数にしてください"},
        RefusedCase{"LengthTooLong", "update AAATST set LN = 10001 where TBID = 1 and CNT = 2", 2, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の LN の値 '10001' (X の列 B) は使えません: "
                    "0 から 10000 までの整数にしてください"},
        RefusedCase{"HugeDisplayWidth", "update AAATST set DPW = 2147483647 where TBID = 1 and CNT = 3", 1, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の DPW の値 '2147483647' (X の列 C) は使えません: "
                    "0 から 10000 までの整数にしてください"},
        RefusedCase{"NegativeDisplayWidth", "update AAATST set DPW = -1 where TBID = 1 and CNT = 1", 1, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATST の DPW の値 '-1' (X の列 A) は使えません: "
                    "0 から 10000 までの整数にしてください"},
        RefusedCase{"ConditionAsTableId", "update AAATBN set TBID = '1 or 1=1' where TNAM = 'X'", 2, "X",
                    "ﾃｰﾌﾞﾙ構造 AAATBN の TBID の値 '1 or 1=1' (ﾃｰﾌﾞﾙ X) は使えません: "
                    "0 から 1000000 までの整数にしてください"},
        RefusedCase{"TableNameNoIdentifier", "insert into AAATBN values (9, 1, 1, 'TEST', 'X; --', '')", 1, "X; --",
                    "ﾃｰﾌﾞﾙ構造 AAATBN の TNAM の値 'X; --' (ﾃｰﾌﾞﾙ X; --) は使えません: " + kNameRule}),
    [](const auto& info) { return std::string(info.param.name); });

// Two type words are a type word: the statement is written as always.
TEST_F(StatementTest, TwoWordTypeKept)
{
    Exec(db, "update AAATST set KT = 'double precision' where TBID = 1 and CNT = 3");
    form->stnm = "X";
    form->stdb = "csqM";
    form->ucSql(6);
    EXPECT_EQ(form->sqw, " create table if not exists X( A  Integer,  B  varchar(4) ,  C  double precision) ");
}

struct ExecCase {
    const char* name;
    bool memory;
    QString sql;
    bool ok;
    QString error;   // part of the database's error text
};

class ExecuteTest : public StatementTest, public ::testing::WithParamInterface<ExecCase> {};

// The execute operations swallow a failure and leave the database as it was,
// but keep its outcome for the caller.
TEST_P(ExecuteTest, RecordsOutcome)
{
    const ExecCase& c = GetParam();
    const QSqlDatabase target = c.memory ? dm->CsqM() : db;
    Exec(target, "create table T ( A Integer not null )");
    Exec(target, "insert into T values (1)");
    form->sqw = c.sql;
    c.memory ? form->uexSqlM() : form->uexSql();
    EXPECT_EQ(form->LastSqlOk, c.ok);
    EXPECT_TRUE(form->LastSqlError.contains(c.error)) << form->LastSqlError.toStdString();
    EXPECT_EQ(form->sqw, c.sql);
    EXPECT_EQ(Count(target, "T"), c.ok ? 2 : 1);
    form->sqw = "insert into T values (3)";   // the connection goes on working
    c.memory ? form->uexSqlM() : form->uexSql();
    EXPECT_TRUE(form->LastSqlOk);
    EXPECT_TRUE(form->LastSqlError.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ExecuteTest,
    ::testing::Values(
        ExecCase{"FileOk", false, "insert into T values (2)", true, ""},
        ExecCase{"FileRejected", false, "insert into T values (NULL)", false, "NOT NULL"},
        ExecCase{"FileSyntax", false, "insert into T value (2)", false, "syntax error"},
        ExecCase{"FileEmpty", false, "", false, "SQL"},
        ExecCase{"MemoryOk", true, "insert into T values (2)", true, ""},
        ExecCase{"MemoryUnknownTable", true, "insert into U values (2)", false, "no such table"},
        ExecCase{"MemoryNumberUnchecked", true, "insert into T values (abc)", false, "no such column"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
