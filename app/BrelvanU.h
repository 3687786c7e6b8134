// The main window TBrelvanF: the one window of the program and, at the same
// time, its controller.  It owns the network, the price rows in memory and
// every piece of run state; every operation of the program is one of its
// methods.  The statement state and the database operations are declared in
// db/ (TBrelvanDb), the run state and the price commands in prices/
// (TBrelvanPrices), which also declares the surface of the window the
// commands use; this class adds the controls, the settings page and the run
// register, the chart's set-up, the event handlers and the start-up.
#pragma once

#include "app/ChartMenu.h"
#include "app/Controls.h"
#include "prices/BrelvanPrices.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TWorker;

class TBrelvanF : public QWidget, public TBrelvanPrices {
    Q_OBJECT
public:
    explicit TBrelvanF(QWidget* parent = nullptr);   // builds the controls; runs no program code
    ~TBrelvanF() override;                           // FormDestroy

    // ---- Controls ---------------------------------------------------------
    TPanel* z01P;  QPushButton* z02clbB;
    TPageControl* pc;  QWidget* ats;  QWidget* bts;  QWidget* cts;
    // main page
    TPanel* a01P;  TMemo* a02mM;  TChart* a03Cht;
    QPushButton* a04RdB;  QPushButton* a05Yo1B;  QPushButton* a06Yo2B;
    TChartMenu* a03ChtMenu;   // the chart's context menu
    QProgressBar* a07PrgBar;  QPushButton* a08StpB;
    // data page
    TPanel* b01P;  TDBGrid* bDG;  QPushButton* b02csvB;
    // settings page
    TPanel* c01TpP;  TPanel* c02bpP;  TDBGrid* cdg;
    QLabel* c10ModL;  QLabel* c11cntL;  QLabel* c12dtL;  QLabel* c13tfL;  QLabel* c14dnL;
    QLabel* c15lnnL;  QLabel* c16lnrL;  QLabel* c17ly1L;  QLabel* c22mse1L;  QLabel* c17lyipnL;
    QLabel* c18lym1nL;  QLabel* c19lym2nL;  QLabel* c20lyopnL;  QLabel* c21lntmL;  QLabel* c22mseL;
    QLabel* c23tyoL;
    // beside the number of passes: the hold-out days and the seed; below the
    // layers: the hold-out's error figures of the training run
    QLabel* c25vldnL;  QLabel* c26rsdL;  QLabel* c27vld1L;  QLabel* c27vmaeL;  QLabel* c28bmaeL;  QLabel* c29vrmseL;
    QLabel* c30brmseL;  QLabel* c31vhitL;
    QLineEdit* c25vldnE;  QLineEdit* c26rsdE;  QLineEdit* c27vmaeE;  QLineEdit* c28bmaeE;  QLineEdit* c29vrmseE;
    QLineEdit* c30brmseE;  QLineEdit* c31vhitE;
    QLineEdit* c12dtE;  QLineEdit* c13tfE;  QLineEdit* c14dnE;  QLineEdit* c15lnnE;  QLineEdit* c16lnrE;
    QLineEdit* c17lyipnE;  QLineEdit* c18lym1nE;  QLineEdit* c19lym2nE;  QLineEdit* c20lyopnE;
    QLineEdit* c21lntmE;  QLineEdit* c22mseE;  QLineEdit* c23tyoE;
    QPushButton* c24rgB;
    QPushButton* c25msvB;  QPushButton* c26mldB;  QPushButton* c27iniB;   // in the bottom bar c02bpP

    // ---- Settings page and run register (Register.cpp) ------------------------
    // uqc(6) copies the page's fields of AYKS into sa[11] onward, as uqc(5)
    // does those of AYFS.
    void uqc(std::int32_t id);
    void udc(std::int32_t id);
    // ---- The chart's set-up (Chart.cpp) -----------------------------------------
    void y01setChart();

    // ---- Event handlers (each runs under the default error handler) --------
    void pcDrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active);
    void FormActivate();
    void FormDestroy();
    void a04RdBClick();
    void a05Yo1BClick();
    void a06Yo2BClick();
    void a04RdBEnter();
    void a04RdBExit();
    void a08StpBClick();
    void c24rgBClick();
    // The buttons of the model file, the fresh network and the CSV export
    // (FileCommands.cpp): each asks for its file through the file-dialog seam.
    void c25msvBClick();
    void c26mldBClick();
    void c27iniBClick();
    void b02csvBClick();

    // ---- Commands that run on while the window reacts (Commands.cpp) ----------
    // "読込学習" trains, and "全予測" runs the network, on a thread of their
    // own, then writes its rows a block at a time; meanwhile the progress bar
    // follows them, "中止" (or Esc) stops them and the other commands wait.
    bool CommandRunning() const { return fRunning != TRunning::None; }
    // Runs the window's events until no command runs (the headless driver
    // presses the buttons one after the other).
    void WaitForCommand();

    // The commands call this first: it raises an error with a clear message
    // while the start-up sequence has not run to its end (no network yet).
    void RequireStarted() const override;
    bool Started() const { return fStarted; }

    // The edit of the settings page that holds a register column.
    QLineEdit* SettingEdit(TSetting field) const;

signals:
    void commandFinished();   // a command that ran on has ended

protected:
    bool event(QEvent* e) override;   // raises FormActivate on activation
    void closeEvent(QCloseEvent* e) override;   // asks to stop a running command first
    bool eventFilter(QObject* watched, QEvent* e) override;   // focus hint of a04RdB
    void resizeEvent(QResizeEvent* e) override;                 // the anchored controls follow

    // The window as the price commands see it.
    void AddLogLine(const QString& line) override;
    QString Setting(TSetting field) const override;
    void SetSetting(TSetting field, const QString& text) override;
    void SetDataCaption(const QString& caption) override;
    void ClearChart() override;
    void AddChartPoint(int series, double x, double y, const QString& label) override;
    void ShowChart() override;
    void MarkHoldout(double x) override;

private:
    void BuildMainPage();
    void BuildDataPage();
    void BuildSettingsPage();
    void ConnectHandlers();
    void AnchorControls();      // what grows with the window, and what follows its edges
    void SetUpKeyboard();       // Enter on buttons, the keys that change page
    void ShowNextPage(int step);   // +1 the next page, -1 the previous, round the end
    void ShowFocusAlways();
    void BuildFileCommands();   // FileCommands.cpp: the file buttons and the chart's menu
    void BindGrids();           // to the data module's sources, once it exists
    void StartUp();             // the start-up sequence proper
    void LimitTypedLengths();   // Register.cpp: the typed edits' lengths from their columns
    void RequireDatabase() const;

    enum class TRunning { None, Training, WholePeriod };
    QList<QPushButton*> WaitingButtons() const;
    void BeginCommand(TRunning command, std::int64_t total);
    void EndCommand();
    void TrainingEnded(std::exception_ptr error);
    void WholePeriodComputed(std::exception_ptr error);
    void WriteWholePeriod();
    void TrainingProgressed(std::int64_t done, std::int64_t total);
    void ShowProgress(std::int64_t done, std::int64_t total, qint64 msLeft);   // msLeft < 0: not known

    TAnchors fAnchors;
    TWorker* fWorker;
    TRunning fRunning = TRunning::None;
    bool fStopAsked = false;            // "中止" pressed during the running command
    bool fCloseWhenDone = false;        // the window closes once the command has stopped
    QPointer<QWidget> fFocusBefore;     // where the focus was when the command began
    std::optional<TTrainingRun> fTraining;
    TWholePeriodRun fWholePeriod;
    qint64 fWriteStartMs = 0;           // when the whole-period rows began to be written

    bool fStartingUp = false;   // guards the start-up against nested activations
    bool fStarted = false;      // the start-up sequence has run to its end
    bool fRetryArmed = true;    // an activation may (re)run the start-up
    bool fDbReady = false;      // the database start-up has run to its end
    bool fClosing = false;      // a second copy of the program: its window closes
    int fRemarkLength = 0;      // the characters the register's remark column holds (0: no limit)
};

// The window's font: "ＭＳ ゴシック" where it exists, else the installed
// Japanese Gothic, 23 pixels high.
QFont WindowFont();

// The progress bar's text: the units done of all, and the time left when
// it is known (msLeft >= 0): "学習 37/400回  残り 0:12", "全予測 5000/199993行".
QString TrainingProgressText(std::int64_t done, std::int64_t total, qint64 msLeft);
QString WholePeriodProgressText(std::int64_t done, std::int64_t total, qint64 msLeft);

// The question closing the window asks while a command runs.
QString StopAndCloseQuestion();

// The one main window.
extern TBrelvanF* BrelvanF;
