// The run register: what "登録(&R)" stores, and what the user is told when the
// database refuses it.
#include "WindowFixture.h"

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

TEST_F(Register, StoresTheRemarkAsTypedCutToItsColumn)
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
        EXPECT_EQ(w.c23tyoE->text(), c.Remark);
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
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith("登録できませんでした: ")) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains("register closed")) << messages[0].toStdString();
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
