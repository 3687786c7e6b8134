// The long commands in the window: "読込学習" trains and "全予測" runs the
// network on a thread of their own while the window goes on handling its
// events; the progress bar follows them, "中止" and Esc stop them, closing
// the window asks first.  What they leave is what they left on one thread.
#include "WindowFixture.h"

#include "ann/LiteralAnn.h"
#include "prices/NetworkSteps.h"
#include "support/PriceFiles.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>
#include <QtCharts/QLineSeries>

#include <fstream>
#include <iterator>

namespace {

// The clock the training run reads: one second later at every reading.
std::function<TDateTime()> SteadyClock()
{
    auto next = std::make_shared<int>(0);
    return [next] { return 46000.5 + (*next)++ / 86400.0; };
}

class Commands : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        OpenWindow();
        ASSERT_TRUE(form->Started());
        form->Clock = SteadyClock();
        messages.clear();
    }

    // Runs the window's events until `done` holds: false if it has not
    // after a minute (the command hangs).
    static bool Until(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 60000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return true;
    }

    std::vector<unsigned char> NetworkImage() const
    {
        const std::string path = PathOf(QStringLiteral("image.ann")).toStdString();
        form->Ann->SaveToFile(path);
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // The buttons a running command disables, and "中止".
    QList<bool> Enabled() const
    {
        return {form->a04RdB->isEnabled(),  form->a05Yo1B->isEnabled(), form->a06Yo2B->isEnabled(),
                form->c24rgB->isEnabled(),  form->c25msvB->isEnabled(), form->c26mldB->isEnabled(),
                form->c27iniB->isEnabled(), form->b02csvB->isEnabled(), form->a08StpB->isEnabled()};
    }

    // Starts "読込学習" on n days with so many passes that it runs until stopped.
    void StartEndlessTraining(int days = 60)
    {
        WritePriceFile(DataLines(days));
        form->c15lnnE->setText(QStringLiteral("99999999"));
        form->a04RdB->click();
        messages.clear();   // the import's notice
        ASSERT_TRUE(form->CommandRunning());
        ASSERT_TRUE(Until([&] { return form->a07PrgBar->value() >= 2; }));
    }

    // Every row of the in-memory AYNK, and the three series' points.
    QStringList TableAndChart() const
    {
        QStringList rows;
        QSqlQuery q(dm->CsqM());
        EXPECT_TRUE(q.exec(QStringLiteral("select * from AYNK order by CNT")));
        while (q.next()) {
            QStringList fields;
            for (int c = 0; c < q.record().count(); ++c)
                fields << q.value(c).toString();
            rows << fields.join(QLatin1Char('|'));
        }
        for (int s = 0; s < 3; ++s) {
            TLineSeries* series = form->a03Cht->Series(s);
            for (int i = 0; i < series->Count(); ++i)
                rows << QStringLiteral("%1:%2,%3,%4").arg(s).arg(series->XValue(i)).arg(series->YValue(i)).arg(series->Label(i));
        }
        return rows;
    }
};

const QList<bool> kIdle{true, true, true, true, true, true, true, true, false};
const QList<bool> kRunning{false, false, false, false, false, false, false, false, true};

}  // namespace

TEST(ProgressText, ShowsDoneOfAllAndTheTimeLeft)
{
    EXPECT_EQ(TrainingProgressText(37, 400, 12000), QStringLiteral("学習 37/400回  残り 0:12"));
    EXPECT_EQ(TrainingProgressText(0, 400, -1), QStringLiteral("学習 0/400回"));
    EXPECT_EQ(TrainingProgressText(1, 400, 3723001), QStringLiteral("学習 1/400回  残り 1:02:04"));
    EXPECT_EQ(WholePeriodProgressText(5000, 199993, 65000), QStringLiteral("全予測 5000/199993行  残り 1:05"));
}

// The passes run on while the window handles its events; the log, the
// settings page and the network are those of a run on one thread: the
// network's bits are what the plain implementation learns from the windows.
TEST_F(Commands, TrainingRunsOnAndLeavesWhatARunOnOneThreadLeaves)
{
    WritePriceFile(DataLines(40));
    form->c15lnnE->setText(QStringLiteral("25"));
    TLiteralAnn literal(NetworkImage());

    ASSERT_EQ(Enabled(), kIdle);
    ASSERT_EQ(QApplication::focusWidget(), form->a04RdB);
    form->a04RdB->click();
    EXPECT_TRUE(form->CommandRunning());
    EXPECT_EQ(Enabled(), kRunning);
    EXPECT_EQ(QApplication::focusWidget(), form->a08StpB);
    form->WaitForCommand();
    EXPECT_FALSE(form->CommandRunning());
    EXPECT_EQ(messages, QStringList{QStringLiteral("ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます")});
    EXPECT_EQ(Enabled(), kIdle);
    EXPECT_EQ(QApplication::focusWidget(), form->a04RdB);
    EXPECT_EQ(form->a01P->Caption(), QStringLiteral("このﾌﾟﾛｸﾞﾗﾑと同じﾌｫﾙﾀﾞに CSV ﾌｧｲﾙを配置"));
    EXPECT_EQ(form->a07PrgBar->text(), QStringLiteral("学習 25/25回"));

    std::vector<float> in(7), out(2);
    for (int pass = 0; pass < 25; ++pass) {
        for (int i = 0; i < 40 - 10; ++i) {
            for (int j = 0; j < 7; ++j)
                in[std::size_t(j)] = form->Data[std::size_t(i + j)].EndV;
            for (int k = 0; k < 2; ++k)
                out[std::size_t(k)] = form->Data[std::size_t(i + 7 + k)].EndV;
            literal.Train(in, out);
        }
    }
    EXPECT_EQ(NetworkImage(), literal.Image());
    const QString mse = FormatMse(literal.GetMSE());
    EXPECT_EQ(form->a02mM->Lines(),
              (QStringList{"40件 読込終了", "最終日: 2020/04/17", "時間枠間隔: 日", "学習開始: 12:00:00", "学習回数: 25回",
                           "学習終了: 00:02", "学習時間: 00:02", "学習終了 MSE: " + mse, "MSE: 平均二乗誤差"}));
    EXPECT_EQ(form->c21lntmE->text(), QStringLiteral("00:02"));
    EXPECT_EQ(form->c22mseE->text(), mse);
    EXPECT_EQ(form->c15lnnE->text(), QStringLiteral("25"));
}

// "中止" ends the run at the end of a pass: the log says how far it came,
// then the usual end lines; the network keeps what those passes taught it
// and the settings page shows the run as it was done.
TEST_F(Commands, StopEndsTheTrainingAfterThePassesDone)
{
    const TRavoAnn fresh = *form->Ann;
    StartEndlessTraining();
    // The window goes on meanwhile: another page, and the bar moving on.
    form->pc->SetActivePage(form->bts);
    const int seen = form->a07PrgBar->value();
    ASSERT_TRUE(Until([&] { return form->a07PrgBar->value() > seen; }));
    EXPECT_TRUE(form->a07PrgBar->text().startsWith(QStringLiteral("学習 ")));
    EXPECT_TRUE(form->a07PrgBar->text().contains(QStringLiteral("/99999999回  残り ")));

    form->a08StpB->click();
    EXPECT_FALSE(form->a08StpB->isEnabled());
    form->WaitForCommand();
    EXPECT_EQ(Enabled(), kIdle);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

    const QStringList log = form->a02mM->Lines();
    ASSERT_EQ(log.size(), 3 + 7);
    const QString stopped = log[5];
    ASSERT_TRUE(stopped.startsWith(QStringLiteral("学習中止: "))) << stopped.toStdString();
    ASSERT_TRUE(stopped.endsWith(QStringLiteral("/99999999回")));
    const int done = stopped.mid(6, stopped.indexOf(QLatin1Char('/')) - 6).toInt();
    EXPECT_GE(done, 2);
    EXPECT_EQ(log.mid(6, 2), (QStringList{"学習終了: 00:02", "学習時間: 00:02"}));
    EXPECT_EQ(log[8], "学習終了 MSE: " + FormatMse(form->Ann->GetMSE()));
    EXPECT_EQ(form->c15lnnE->text(), QString::number(done));
    EXPECT_EQ(form->c22mseE->text(), FormatMse(form->Ann->GetMSE()));
    EXPECT_EQ(form->a07PrgBar->text(), QStringLiteral("学習 %1/99999999回").arg(done));

    TRavoAnn same = fresh;
    TrainPasses(same, form->Data, 7, 2, 60 - 10, done);
    const std::vector<unsigned char> learnt = NetworkImage();
    *form->Ann = same;
    EXPECT_EQ(NetworkImage(), learnt);
}

TEST_F(Commands, EscapeStopsAsTheButtonDoes)
{
    StartEndlessTraining();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    form->WaitForCommand();
    EXPECT_TRUE(form->a02mM->Lines().value(5).startsWith(QStringLiteral("学習中止: ")));
    // With nothing running Esc does nothing.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(form->a02mM->Lines().size(), 10);
}

// Closing the window while a command runs asks first; no keeps it running,
// yes stops it and closes once it has stopped.
TEST_F(Commands, ClosingAsksWhetherToStop)
{
    StartEndlessTraining();
    answer = false;
    form->z02clbB->click();
    EXPECT_EQ(questions, QStringList{QStringLiteral("実行中の処理を中止して閉じますか?")});
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->CommandRunning());

    answer = true;
    form->close();
    EXPECT_EQ(questions.size(), 2);
    form->WaitForCommand();
    ASSERT_TRUE(Until([&] { return !form->isVisible(); }));
    EXPECT_TRUE(form->a02mM->Lines().value(5).startsWith(QStringLiteral("学習中止: ")));
}

// An error on the worker's thread comes back through the message seam; the
// command ends and the window takes commands again.
TEST_F(Commands, AnErrorOfTheWorkerIsShownAndEndsTheCommand)
{
    WritePriceFile(DataLines(40));
    form->Iil = 5;   // the network has 7 inputs: its first step refuses
    form->a04RdB->click();
    form->WaitForCommand();
    EXPECT_EQ(messages.value(1), QStringLiteral("入力の数が入力層のニューロン数と一致しません: 5 / 7"));
    EXPECT_EQ(Enabled(), kIdle);
    EXPECT_EQ(form->a02mM->Lines().last(), QStringLiteral("学習回数: 400回"));

    messages.clear();
    form->a06Yo2B->click();
    form->WaitForCommand();
    EXPECT_EQ(messages, QStringList{QStringLiteral("入力の数が入力層のニューロン数と一致しません: 5 / 7")});
    EXPECT_EQ(Enabled(), kIdle);
}

// "全予測" through the window writes the rows and points the command at once
// writes, a block at a time, and the chart shows them once all are there.
TEST_F(Commands, WholePeriodWritesWhatThePredictionAtOnceWrites)
{
    WritePriceFile(DataLines(3000));
    form->c15lnnE->setText(QStringLiteral("1"));
    form->a04RdB->click();
    form->WaitForCommand();
    messages.clear();

    form->a06Yo2B->click();
    EXPECT_EQ(Enabled(), kRunning);
    form->WaitForCommand();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(form->a07PrgBar->text(), QStringLiteral("全予測 2993/2993行"));
    const QStringList log = form->a02mM->Lines();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[log.size() - 2], QStringLiteral("全期間の予測"));
    EXPECT_TRUE(log.last().startsWith(QStringLiteral("全期間 平均絶対誤差: "))) << log.last().toStdString();
    const QStringList written = TableAndChart();
    EXPECT_EQ(form->a03Cht->Series(0)->Count(), 2993);
    EXPECT_GT(form->a03Cht->Series(0)->Series()->count(), 0);   // shown

    QSqlQuery clear(dm->CsqM());
    ASSERT_TRUE(clear.exec(QStringLiteral("update AYNK set YCL1 = NULL, YCL2 = NULL")));
    form->y05znYos();
    EXPECT_EQ(TableAndChart(), written);
}

TEST_F(Commands, StopEndsTheWholePeriodPredictionWithTheRowsWritten)
{
    WritePriceFile(DataLines(3000));
    form->c15lnnE->setText(QStringLiteral("0"));
    form->a04RdB->click();
    form->WaitForCommand();
    form->a06Yo2B->click();
    form->a08StpB->click();   // before the network's share has run a block
    form->WaitForCommand();
    const QStringList log = form->a02mM->Lines();
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{"全予測中止: 0/2993行", "全期間の予測"}));
    EXPECT_EQ(form->a03Cht->Series(0)->Count(), 0);
    EXPECT_EQ(Enabled(), kIdle);
}
