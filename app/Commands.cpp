// The command buttons of the main page.  Each runs under the default error
// handler; an error ends the command.  "予測1" runs to its end at once.
// "読込学習" imports at once and then trains on the worker's thread;
// "全予測" runs the network there and then writes its rows and chart points
// a block at a time between the window's events.  While one of these two
// runs, the window paints and reacts: the progress bar follows it, "中止"
// and Esc stop it, and the command buttons and the register wait for it.
#include "app/BrelvanU.h"

#include "app/Dialogs.h"
#include "app/Worker.h"
#include "base/Errors.h"
#include "prices/NetworkSteps.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

// How long one block of the whole-period rows may hold the window, in ms.
constexpr int kWriteSliceMs = 40;
// Windows written (and committed) between two looks at the clock.
constexpr std::int32_t kWriteBlock = 4096;

QString TimeLeft(qint64 msLeft)
{
    if (msLeft < 0)
        return {};
    const qint64 seconds = (msLeft + 999) / 1000;
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString clock = h > 0 ? QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'))
                                : QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("  残り ") + clock;
}

// The time left when `done` of `total` units took `elapsedMs`; -1 before the first unit.
qint64 Estimate(std::int64_t done, std::int64_t total, qint64 elapsedMs)
{
    if (done <= 0 || total < done)
        return -1;
    return qint64(double(elapsedMs) * double(total - done) / double(done));
}

}  // namespace

QString TrainingProgressText(std::int64_t done, std::int64_t total, qint64 msLeft)
{
    return QStringLiteral("学習 %1/%2回").arg(done).arg(total) + TimeLeft(msLeft);
}

QString WholePeriodProgressText(std::int64_t done, std::int64_t total, qint64 msLeft)
{
    return QStringLiteral("全予測 %1/%2行").arg(done).arg(total) + TimeLeft(msLeft);
}

QString StopAndCloseQuestion() { return QStringLiteral("実行中の処理を中止して閉じますか?"); }

void TBrelvanF::a04RdBClick()
{
    Guarded([this] {
        {
            TWaitCursor wait;
            RequireStarted();
            CheckTypedSettings();   // a refused setting ends the command before the import changes anything
            y02rdDat();   // an error here ends the command: no training on a failed import
            fTraining = y03leanOpen();
        }
        if (!fTraining)
            return;
        // The passes work on the network and the rows alone; nothing else
        // touches them until the run has ended (the commands wait).
        TRavoAnn& ann = *Ann;
        const std::vector<TData>& data = Data;
        const std::int32_t inputs = Iil, outputs = Iol;
        const std::int32_t windows = fTraining->Windows, passes = fTraining->Passes;
        std::int32_t& done = fTraining->PassesDone;
        BeginCommand(TRunning::Training, passes);
        fWorker->Start(
            [&ann, &data, &done, inputs, outputs, windows, passes](const TStepControl& control) {
                done = TrainPasses(ann, data, inputs, outputs, windows, passes, control);
            },
            [this](std::exception_ptr error) { TrainingEnded(error); });
    });
}

void TBrelvanF::TrainingEnded(std::exception_ptr error)
{
    struct TEnd {
        TBrelvanF* Window;
        ~TEnd() { Window->EndCommand(); }
    } end{this};
    if (error)
        std::rethrow_exception(error);
    ShowProgress(fTraining->PassesDone, fTraining->Passes, -1);
    y03leanClose(*fTraining);
}

void TBrelvanF::a05Yo1BClick()
{
    Guarded([this] {
        TWaitCursor wait;
        RequireStarted();
        y04Yosok();
    });
}

void TBrelvanF::a06Yo2BClick()
{
    Guarded([this] {
        {
            TWaitCursor wait;
            RequireStarted();
            fWholePeriod = y05znYosOpen();
        }
        TRavoAnn& ann = *Ann;
        const std::vector<TData>& data = Data;
        const std::int32_t inputs = Iil, outputs = Iol, windows = fWholePeriod.Windows;
        TWholePeriodOutputs& result = fWholePeriod.Outputs;
        BeginCommand(TRunning::WholePeriod, windows);
        fWorker->Start(
            [&ann, &data, &result, inputs, outputs, windows](const TStepControl& control) {
                result = WholePeriodOutputs(ann, data, inputs, outputs, windows, control);
            },
            [this](std::exception_ptr error) { WholePeriodComputed(error); });
    });
}

void TBrelvanF::WholePeriodComputed(std::exception_ptr error)
{
    if (error) {
        EndCommand();
        std::rethrow_exception(error);
    }
    fWriteStartMs = fWorker->ElapsedMs();
    // The chart shows the points once all are written.
    a03Cht->SetUpdatesHeld(true);
    WriteWholePeriod();
}

// One block of rows and chart points, then back to the window's events.
void TBrelvanF::WriteWholePeriod()
{
    bool more = true;
    try {
        QElapsedTimer slice;
        slice.start();
        while (more && !fStopAsked && slice.elapsed() < kWriteSliceMs)
            more = y05znYosWrite(fWholePeriod, kWriteBlock);
        const qint64 writing = fWorker->ElapsedMs() - fWriteStartMs;
        ShowProgress(fWholePeriod.Written, fWholePeriod.Windows,
                     more ? Estimate(fWholePeriod.Written, fWholePeriod.Outputs.Done, writing) : -1);
        if (more && !fStopAsked) {
            QTimer::singleShot(0, this, [this] { Guarded([this] { WriteWholePeriod(); }); });
            return;
        }
        y05znYosClose(fWholePeriod);
    } catch (...) {
        EndCommand();
        throw;
    }
    EndCommand();
}

void TBrelvanF::a08StpBClick()
{
    if (!CommandRunning())
        return;
    fStopAsked = true;
    fWorker->RequestStop();
    a08StpB->setEnabled(false);   // stopping: the command ends at its next step
}

void TBrelvanF::TrainingProgressed(std::int64_t done, std::int64_t total)
{
    if (fRunning == TRunning::Training)
        ShowProgress(done, total, Estimate(done, total, fWorker->ElapsedMs()));
}

// The buttons that wait while a command runs: the commands, the register
// and everything that reads or replaces the network or the price table.
QList<QPushButton*> TBrelvanF::WaitingButtons() const
{
    return {a04RdB, a05Yo1B, a06Yo2B, c24rgB, c25msvB, c26mldB, c27iniB, b02csvB};
}

void TBrelvanF::BeginCommand(TRunning command, std::int64_t total)
{
    fRunning = command;
    fStopAsked = false;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    a08StpB->setEnabled(true);
    // The focus goes from the button that had it to "中止" before the
    // buttons are disabled.  The window's own focus widget counts: a message
    // box shown just before may not have handed the activation back yet, and
    // then no focus event comes to clear the hint of 読込学習.
    fFocusBefore = focusWidget();
    const QList<QPushButton*> waiting = WaitingButtons();
    if (std::find(waiting.begin(), waiting.end(), fFocusBefore.data()) != waiting.end()) {
        a08StpB->setFocus(Qt::OtherFocusReason);
        if (fFocusBefore == a04RdB && !isActiveWindow())
            a04RdBExit();
    }
    for (QPushButton* button : waiting)
        button->setEnabled(false);
    ShowProgress(0, total, -1);
}

void TBrelvanF::EndCommand()
{
    if (!CommandRunning())
        return;
    fRunning = TRunning::None;
    a03Cht->SetUpdatesHeld(false);
    for (QPushButton* button : WaitingButtons())
        button->setEnabled(true);
    const bool stopHadFocus = focusWidget() == a08StpB || !focusWidget();
    a08StpB->setEnabled(false);
    if (stopHadFocus && fFocusBefore && fFocusBefore->isEnabled())
        fFocusBefore->setFocus(Qt::OtherFocusReason);
    QGuiApplication::restoreOverrideCursor();
    emit commandFinished();
    if (fCloseWhenDone)
        QTimer::singleShot(0, this, [this] { close(); });
}

void TBrelvanF::ShowProgress(std::int64_t done, std::int64_t total, qint64 msLeft)
{
    // The bar counts in int: a count beyond it is shown in proportion.
    const double scale = total > 1000000000 ? 1000000000.0 / double(total) : 1.0;
    a07PrgBar->setRange(0, int(double(std::max<std::int64_t>(total, 1)) * scale));
    a07PrgBar->setValue(int(double(std::min(done, total)) * scale));
    a07PrgBar->setFormat(fRunning == TRunning::WholePeriod ? WholePeriodProgressText(done, total, msLeft)
                                                           : TrainingProgressText(done, total, msLeft));
}

void TBrelvanF::WaitForCommand()
{
    if (!CommandRunning())
        return;
    QEventLoop loop;
    connect(this, &TBrelvanF::commandFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

void TBrelvanF::closeEvent(QCloseEvent* e)
{
    if (!CommandRunning()) {
        QWidget::closeEvent(e);
        return;
    }
    e->ignore();
    if (fCloseWhenDone)
        return;   // asked already: the window closes once the command has stopped
    bool stop = false;
    Guarded([&] { stop = AskYesNo(StopAndCloseQuestion()); });
    if (!stop)
        return;
    if (!CommandRunning()) {   // it ended while the question was open
        e->accept();
        return;
    }
    fCloseWhenDone = true;
    a08StpBClick();
}
