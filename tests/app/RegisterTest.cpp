// The run register: what "登録(&R)" stores, and what the user is told when the
// database refuses it.
#include "WindowFixture.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The catalogue's length of AYFS.TYO: a longer remark is cut to it.
int RemarkLength()
{
    QSqlQuery query(dm->Csq());
    EXPECT_TRUE(query.exec("select s.LN from AAATST s join AAATBN t on s.TBID = t.TBID "
                           "where t.TNAM = 'AYFS' and s.CNAM = 'TYO'"));
    return query.next() ? query.value(0).toInt() : -1;
}

}  // namespace

using Register = WindowFixture;

TEST_F(Register, StoresTheRemarkAsTypedWithinItsColumn)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    messages.clear();
    const int length = RemarkLength();
    ASSERT_GT(length, 10);
    const QString longRemark = QString("長い摘要").repeated(length);

    struct TCase {
        const char* Name;
        QString Remark;
        QVariant Stored;   // null: stored as NULL
    };
    // The edit takes no more than the column holds: what it shows is stored whole.
    EXPECT_EQ(w.c23tyoE->maxLength(), length);
    const TCase cases[] = {
        {"single quotes", "it's the 'first' run", QString("it's the 'first' run")},
        {"only a quote", "'", QString("'")},
        {"statement in it", "x'); drop table AYFS; --", QString("x'); drop table AYFS; --")},
        {"longer than its column", longRemark, longRemark.left(length)},
        {"empty", "", QVariant()},
    };
    int cnt = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        w.c23tyoE->setText(c.Remark);
        w.c24rgB->click();
        ++cnt;
        EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
        EXPECT_EQ(w.c11cntL->text(), QString::number(cnt));
        EXPECT_EQ(w.c23tyoE->text(), c.Remark.left(length));
        const QVariant stored = FileValue(QString("select TYO from AYFS where CNT = %1").arg(cnt));
        EXPECT_EQ(stored.isNull(), c.Stored.isNull());
        if (!c.Stored.isNull()) {
            EXPECT_EQ(stored.toString(), c.Stored.toString());
        }
        EXPECT_EQ(w.cdg->CurrentRecord(), cnt - 1);
    }
    EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), cnt);
}

TEST_F(Register, TwoPressesAddTwoRunsNumberedAfterTheHighest)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'7'", "'2'"), RegisterRow(7, "'7'", "'2'")});
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    EXPECT_EQ(w.c11cntL->text(), "7");
    w.c24rgB->click();
    w.c24rgB->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(w.c11cntL->text(), "9");
    EXPECT_EQ(FileValue("select count(*) from AYFS where LNN = '307' and LYIPN = '7'").toInt(), 3);
    EXPECT_EQ(FileValue("select group_concat(CNT) from AYFS").toString(), "1,7,8,9");
}

// A run is registered with its row of figures or not at all: whichever of
// the two inserts the database refuses, neither row stays.
TEST_F(Register, TellsTheReasonWhenTheDatabaseRefusesTheRun)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    w.c24rgB->click();
    messages.clear();
    for (const char* table : {"AYFS", "AYKS"}) {
        SCOPED_TRACE(table);
        QSqlQuery trigger(dm->Csq());
        ASSERT_TRUE(trigger.exec(QString("create trigger refuse_runs before insert on %1 "
                                         "begin select raise(abort, 'register closed'); end").arg(table)));

        w.c24rgB->click();
        EXPECT_EQ(messages, QStringList{"登録できませんでした: データベースの制約により書き込めません (register closed)"});
        EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 1);
        EXPECT_EQ(FileValue("select count(*) from AYKS").toInt(), 1);
        EXPECT_EQ(w.c11cntL->text(), "2");   // the number that was tried
        EXPECT_EQ(w.cdg->CurrentRecord(), 0);
        ASSERT_TRUE(trigger.exec("drop trigger refuse_runs"));
        messages.clear();
    }
}

// A register the catalogue does not list (changed while the program runs):
// the user is told what failed, never a bare "データベースエラー: ".
TEST_F(Register, NamesWhatFailedWhenTheCatalogueLacksTheRegister)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    w.c24rgB->click();
    messages.clear();
    QSqlQuery change(dm->Csq());
    ASSERT_TRUE(change.exec("delete from AAATBN where TNAM = 'AYFS'"));

    w.c24rgB->click();
    EXPECT_EQ(messages, QStringList({"AYFS ﾃｰﾌﾞﾙ名が見つかりません", "登録できませんでした: ﾃｰﾌﾞﾙ構造に AYFS がありません"}));
    messages.clear();
    Guarded([&] { w.uqc(1); });
    EXPECT_EQ(messages, QStringList({"AYFS ﾃｰﾌﾞﾙ名が見つかりません", "登録の一覧を開けません: ﾃｰﾌﾞﾙ構造に AYFS がありません"}));
    EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 1);
}

namespace {

// The hold-out days, the seed and the five figures as the page shows them.
QStringList FigureTexts(const TBrelvanF& w)
{
    QStringList texts;
    for (QLineEdit* edit : {w.c25vldnE, w.c26rsdE, w.c27vmaeE, w.c28bmaeE, w.c29vrmseE, w.c30brmseE, w.c31vhitE})
        texts << edit->text();
    return texts;
}

void SetFigureTexts(TBrelvanF& w, const QStringList& texts)
{
    int k = 0;
    for (QLineEdit* edit : {w.c25vldnE, w.c26rsdE, w.c27vmaeE, w.c28bmaeE, w.c29vrmseE, w.c30brmseE, w.c31vhitE})
        edit->setText(texts.value(k++));
}

const QStringList kFigureFields{"VLDN", "RSD", "VMAE", "BMAE", "VRMSE", "BRMSE", "VHIT"};

// The figures of the register grid's current run, by field.
QStringList GridFigures()
{
    QStringList texts;
    for (const QString& field : kFigureFields)
        texts << dm->qc.FieldText(field);
    return texts;
}

}  // namespace

TEST_F(Register, KeepsEachRunsHoldoutSeedAndFiguresBesideIt)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    messages.clear();
    const QStringList figures{"250", "1", "67.90", "30.80", "87.86", "54.43", "47.2"};
    SetFigureTexts(w, figures);
    w.c24rgB->click();
    SetFigureTexts(w, {"", "", "", "", "", "", ""});   // no hold-out, clock seeded
    w.c24rgB->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(FileValue("select group_concat(CNT || '|' || VLDN || '|' || RSD || '|' || VMAE || '|' || BMAE || '|' "
                        "|| VRMSE || '|' || BRMSE || '|' || VHIT) from AYKS").toString(),
              "1|" + figures.join('|'));
    EXPECT_EQ(FileValue("select count(*) from AYKS where CNT = 2 and VLDN is null and VMAE is null").toInt(), 1);

    // The grid shows them beside each run, titled.
    EXPECT_EQ(dm->qc.RecordCount(), 2);
    EXPECT_EQ(GridFigures(), QStringList({"", "", "", "", "", "", ""}));
    dm->qc.First();
    EXPECT_EQ(dm->qc.FieldText("CNT"), "1");
    EXPECT_EQ(GridFigures(), figures);
    QStringList titles;
    for (int n = 0; !w.cdg->VisibleField(n).isEmpty(); ++n)
        if (kFigureFields.contains(w.cdg->VisibleField(n)))
            titles << w.cdg->VisibleTitle(n);
    EXPECT_EQ(titles, QStringList({"検証日数", "乱数シード", "予測MAE", "前日終値MAE", "予測RMSE", "前日終値RMSE", "的中率%"}));

    // The next start shows the last run's; after registering run 1 again, its.
    SetFigureTexts(w, figures);
    w.c24rgB->click();
    CloseWindow();
    TBrelvanF& next = *OpenWindow();
    ASSERT_TRUE(next.Started());
    EXPECT_EQ(next.c11cntL->text(), "3");
    EXPECT_EQ(FigureTexts(next), figures);
}

// A database of the program before it kept figures: its catalogue had no
// AYKS, and neither had the file.  Start-up adds the table and its catalogue
// rows; every run stays.
TEST_F(Register, AnEarlierDatabaseKeepsItsRunsAndShowsNoFiguresForThem)
{
    CreateDatabase();
    ExecOnFile({"delete from AAATST where TBID = (select TBID from AAATBN where TNAM = 'AYKS')",
                "delete from AAATBN where TNAM = 'AYKS'", "drop table AYKS", RegisterRow(1, "'7'", "'2'"),
                RegisterRow(2, "'7'", "'2'", "'second'")});
    const QString runs = "select group_concat(CNT || DT || TF || DN || LNN || LNR || LYIPN || LYM1N || LYM2N || LYOPN "
                         "|| LNTM || MSE || ifnull(TYO, '-'), ' ') from AYFS";
    QString before;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "earlier");
        db.setDatabaseName(DbPath());
        ASSERT_TRUE(db.open());
        before = Value(db, runs).toString();
    }
    QSqlDatabase::removeDatabase("earlier");
    ASSERT_TRUE(before.endsWith("second")) << before.toStdString();

    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    EXPECT_EQ(messages, CatalogueMessages());
    EXPECT_EQ(FileValue(runs).toString(), before);
    EXPECT_EQ(FileValue("select count(*) from AAATBN").toInt(), 5);
    EXPECT_EQ(FileValue("select count(*) from AYKS").toInt(), 0);
    EXPECT_EQ(dm->qc.RecordCount(), 2);
    EXPECT_EQ(GridFigures(), QStringList({"", "", "", "", "", "", ""}));
    EXPECT_EQ(FigureTexts(w), QStringList({"", "", "", "", "", "", ""}));
    EXPECT_EQ(w.c23tyoE->text(), "second");

    w.c25vldnE->setText("30");
    w.c24rgB->click();
    EXPECT_EQ(messages, CatalogueMessages());
    EXPECT_EQ(FileValue("select group_concat(CNT || ':' || ifnull(VLDN, '-')) from AYKS").toString(), "3:30");
    EXPECT_EQ(dm->qc.RecordCount(), 3);
}

// ---- The settings checked where they are typed ---------------------------------

// Each edit the user types into takes as many characters as its column holds.
TEST_F(Register, TypedEditsTakeWhatTheirColumnsHold)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    const std::pair<QLineEdit*, int> limits[] = {{w.c15lnnE, 8}, {w.c17lyipnE, 4}, {w.c20lyopnE, 4},
                                                  {w.c23tyoE, 40}, {w.c25vldnE, 8}, {w.c26rsdE, 20}};
    for (const auto& [edit, length] : limits)
        EXPECT_EQ(edit->maxLength(), length) << edit->objectName().toStdString();
}

// "登録(&R)" refuses what the next start-up or 読込学習 would refuse, with the
// same message and before anything is written; what it accepts it stores
// plainly, and an output layer beyond the six prediction columns is pointed out.
TEST_F(Register, ChecksTheTypedSettingsBeforeRegistering)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    messages.clear();
    struct TCase {
        QLineEdit* Edit;
        const char* Text;
        const char* Refusal;
    };
    const TCase refused[] = {
        {w.c17lyipnE, "abc", "'abc' は整数ではありません"},
        {w.c17lyipnE, "0", "入力層のﾆｭｰﾛﾝ数 '0' は 1 から 9999 までの整数で指定してください"},
        {w.c20lyopnE, "", "'' は整数ではありません"},
        {w.c15lnnE, "1234567", nullptr},   // accepted: the case after it is refused
        {w.c15lnnE, "-1", "学習数 '-1' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)"},
        {w.c25vldnE, "x", "検証日数 'x' は 0 から 99999999 までの整数で指定してください (空欄か 0 なら検証しません)"},
        {w.c26rsdE, "1.5", "乱数シード '1.5' は整数で指定してください (空欄なら時計の値を使います)"},
    };
    for (const TCase& c : refused) {
        SCOPED_TRACE(c.Text);
        const QString before = c.Edit->text();
        c.Edit->setText(QString::fromUtf8(c.Text));
        if (!c.Refusal)
            continue;
        w.c24rgB->click();
        EXPECT_EQ(messages, QStringList{QString::fromUtf8(c.Refusal)});
        EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 0);
        EXPECT_EQ(w.c11cntL->text(), "");
        EXPECT_EQ(c.Edit->text(), QString::fromUtf8(c.Text));
        c.Edit->setText(before);
        messages.clear();
    }

    w.c15lnnE->setText("　４００ ");
    w.c17lyipnE->setText("１２");
    w.c20lyopnE->setText("８");
    w.c25vldnE->setText("２５０");
    w.c26rsdE->setText("－７");
    w.c24rgB->click();
    EXPECT_EQ(messages, QStringList{"出力層のﾆｭｰﾛﾝ数 8 のうち、予測の列 (予測1～予測6) に書かれるのは 6 日分までです。"
                                    "7 日目からの予測は価格表に残りません"});
    EXPECT_EQ(FileValue("select LNN || '|' || LYIPN || '|' || LYOPN from AYFS where CNT = 1").toString(), "400|12|8");
    EXPECT_EQ(FileValue("select VLDN || '|' || RSD from AYKS where CNT = 1").toString(), "250|-7");
    EXPECT_EQ(w.c15lnnE->text(), "400");
}

// "読込学習" checks the settings before the import: a refused setting leaves
// the table, its predictions, the chart and the log as they were.
TEST_F(Register, ImportAndTrainRefusesABadSettingBeforeReading)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    QFile file(PathOf("tarvok_stock_average_daily_jp.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("date,close,open,high,low\r\n");
    for (int i = 1; i <= 40; ++i)
        file.write(QStringLiteral("%1,\"1,%2.25\",1,1,1\r\n")
                       .arg(QDate(2020, 4, 17).addDays(i - 40).toString("yyyy/MM/dd"))
                       .arg(100 + (i * 37) % 300)
                       .toLatin1());
    file.write("end\r\n");
    file.close();
    w.c15lnnE->setText("2");
    w.a04RdB->click();
    w.WaitForCommand();
    w.a05Yo1B->click();
    const QStringList log = w.a02mM->Lines();
    const QVariant predicted = Value(dm->CsqM(), "select group_concat(YCL1) from AYNK");
    ASSERT_FALSE(predicted.toString().isEmpty());
    const int points = w.a03Cht->Series(0)->Count();
    messages.clear();

    w.c15lnnE->setText("abc");
    w.a04RdB->click();
    EXPECT_FALSE(w.CommandRunning());
    EXPECT_EQ(messages, QStringList{"学習数 'abc' は 0 から 99999999 までの整数で指定してください (0 なら読込だけで学習しません)"});
    EXPECT_EQ(w.a02mM->Lines(), log);
    EXPECT_EQ(Value(dm->CsqM(), "select group_concat(YCL1) from AYNK"), predicted);
    EXPECT_EQ(w.a03Cht->Series(0)->Count(), points);
}
