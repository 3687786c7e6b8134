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

TEST_F(Register, TellsTheReasonWhenTheDatabaseRefusesTheRun)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    w.c24rgB->click();
    messages.clear();
    QSqlQuery trigger(dm->Csq());
    ASSERT_TRUE(trigger.exec("create trigger refuse_runs before insert on AYFS "
                             "begin select raise(abort, 'register closed'); end"));

    w.c24rgB->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("登録できませんでした: ")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("register closed")) << messages[0].toStdString();
    EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 1);
    EXPECT_EQ(w.c11cntL->text(), "2");   // the number that was tried
    EXPECT_EQ(w.cdg->CurrentRecord(), 0);
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
