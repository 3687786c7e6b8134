// The controller's price side: the network, the price rows in memory and the
// run state of the price commands, and the commands themselves (the import,
// the training run, the two predictions, the network's model file and the
// price table's export).  The commands reach the window only through the
// narrow surface declared here (the log, the settings page, the data page's
// caption, the chart's three series) and through the message seam, so that a
// test can stand in for the window.  The main window
// TBrelvanF is derived from this class.
#pragma once

#include "ann/URavoAnn.h"
#include "base/Convert.h"
#include "db/BrelvanDb.h"
#include "prices/Holdout.h"
#include "prices/NetworkSteps.h"
#include "prices/Topology.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TPriceUpdates;

// One price row in memory.
struct TData {
    std::int32_t cnt = 0;   // row number from 1; equals CNT in AYNK
    TDateTime dt = 0;       // the trading day (whole days)
    float EndV = 0;         // the close, normalised into the network's range
    float OpnV = 0;         // declared, never filled
    float HiV = 0;          // declared, never filled
    float LoV = 0;          // declared, never filled
    double Close = 0;       // the close as the file writes it, in price units
};

// The fields of the settings page, named by the register column each holds:
// those of the run register AYFS, then those of its companion AYKS (the
// hold-out days, the seed and the hold-out's error figures).
enum class TSetting {
    DT, TF, DN, LNN, LNR, LYIPN, LYM1N, LYM2N, LYOPN, LNTM, MSE, TYO,
    VLDN, RSD, VMAE, BMAE, VRMSE, BRMSE, VHIT
};

// The last data rows held out of the training by the last import.
struct THoldout {
    std::int32_t Days = 0;   // 0: none
    QString FirstDate;       // the first and the last held-out day as the file writes them
    QString LastDate;
};

// The chart's series by index.
inline constexpr int kActualSeries = 0;     // the actual close
inline constexpr int kSameDaySeries = 1;    // the same day's prediction
inline constexpr int kNextDaySeries = 2;    // the next business day's prediction

// One training run between its opening and its closing.
struct TTrainingRun {
    TDateTime Start = 0;         // the clock when the run began
    std::int32_t Passes = 0;     // asked for (Ilk)
    std::int32_t Windows = 0;    // per pass
    std::int32_t PassesDone = 0;
};

// One whole-period prediction between its opening and its closing: the
// network's outputs, then the rows and chart points written from them.
struct TWholePeriodRun {
    TWholePeriodRun();
    ~TWholePeriodRun();
    TWholePeriodRun(TWholePeriodRun&&) noexcept;
    TWholePeriodRun& operator=(TWholePeriodRun&&) noexcept;

    std::int32_t Windows = 0;
    TWholePeriodOutputs Outputs;
    std::int32_t Written = 0;    // windows whose row and points are written
    std::unique_ptr<TPriceUpdates> Updates;
    const TData* NextRow = nullptr;   // the row whose date NextDate holds
    QString NextDate;
    std::vector<TDayPrediction> Days;   // output 0 against the previous close, as written
};

class TBrelvanPrices : public TBrelvanDb {
public:
    // ---- The price commands (Import.cpp, Training.cpp, Prediction.cpp) --------
    float normalize(float s) const;
    float renormalize(float s) const;
    void y02rdDat();
    void y03lean();
    void y04Yosok();
    void y05znYos();
    // ---- The network and its model file (Model.cpp) ----------------------------
    // Writes the network to a model file in its own format and logs it.
    void y06mdlSav(const QString& fileName);
    // Replaces the network with the one in a model file.  Iil, Iol, Layers and
    // the settings page's four layer sizes follow the file's network, with a
    // message when the page changes.  A file the network refuses, or one of a
    // shape the program cannot use, raises an error and changes nothing.
    void y07mdlLod(const QString& fileName);
    // A new network from the settings page's four layer sizes (learning rate
    // 0.005, sigmoid), its training count 0.
    void y08annIni();
    // ---- The price table to a file (Export.cpp) --------------------------------
    // Writes the price table, as the price grid shows it, to a CSV file
    // (PriceExport.h) that replaces the file only once complete, and logs it.
    void y09csvOut(const QString& fileName);

    // ---- The long commands in steps -------------------------------------------
    // The training run y03lean is its opening, TrainPasses over Ann and Data
    // for the run's passes and windows, and its closing; the whole-period
    // prediction y05znYos is its opening, WholePeriodOutputs over Ann and
    // Data, the writing of every window's row and points, and its closing.
    // The window runs the network's share on a thread of its own and writes
    // the rows a block at a time; the synchronous forms run it all at once.
    //
    // The opening reads the passes, logs the start and fills the run's date
    // and time frame; nothing when no data has been read (the message is shown).
    std::optional<TTrainingRun> y03leanOpen();
    // The closing: a run stopped early logs "学習中止: k/N回" and shows the
    // passes done as its passes; then the end time, the duration and the
    // error, in the log and on the settings page.
    void y03leanClose(const TTrainingRun& run);

    TWholePeriodRun y05znYosOpen();                           // clears the chart
    // Writes the rows and chart points of up to `count` more windows of those
    // whose outputs are there; false once every such window is written.
    bool y05znYosWrite(TWholePeriodRun& run, std::int32_t count);
    // Shows the chart and the updated table and logs the end; a run stopped
    // early logs "全予測中止: k/N行" first.
    void y05znYosClose(TWholePeriodRun& run);

    // The commands call this first: it raises an error with a clear message
    // while the controller has no network yet (the start-up has not run).
    virtual void RequireStarted() const;

    // ---- The settings the user types (Settings.h) --------------------------------
    // 学習数, 検証日数, 乱数シード and the input and output layers' sizes,
    // checked as the commands and the next start-up will read them; the
    // first refusal is raised, with the message the reader would show,
    // before anything changes.  When all are good, each is written back
    // plainly ("４００" becomes "400").  "読込学習" and "登録(&R)" call it first.
    void CheckTypedSettings();
    // Says so when a network of `outputs` outputs predicts days that no
    // column of the price table receives.
    void NoteOutputsBeyondColumns(std::int32_t outputs) const;

    // ---- The comparison with the previous close (Evaluation.cpp) ----------------
    // A fresh network of the current one's shape, learning rate and
    // activation, its initial weights drawn from `seed`.
    void RestartFromSeed(std::uint64_t seed);
    // After a training run: with a hold-out, the four 検証 lines and the
    // figures on the settings page; without one, the figures are cleared.
    void ReportHoldout();

    // ---- Run state ------------------------------------------------------------
    // Public so that the headless driver and the tests can read it; only the
    // controller's own operations change it.
    std::unique_ptr<TRavoAnn> Ann;
    std::vector<std::int32_t> Layers;
    std::int32_t Iil = 0;   // input-layer size
    std::int32_t Iol = 0;   // output-layer size
    std::int32_t Ilk = 0;   // training passes
    std::int32_t IrH = 0;   // upper end of the normalisation range
    std::int32_t IrL = 0;   // lower end of the normalisation range
    std::vector<TData> Data;
    std::int32_t Idn = 0;   // rows of the last import; 0: nothing read
    std::int32_t Itf = 0;   // time-frame code
    THoldout Holdout;       // what the last import held out of the training

    // The clock the training run reads its start and end from (date and time
    // of day); tests replace it.
    std::function<TDateTime()> Clock = Now;

protected:
    // ---- The window as the commands see it --------------------------------------
    virtual void AddLogLine(const QString& line) = 0;                 // appends a line to the log
    virtual QString Setting(TSetting field) const = 0;                // a field of the settings page
    virtual void SetSetting(TSetting field, const QString& text) = 0;
    virtual void SetDataCaption(const QString& caption) = 0;          // the data page's top panel
    virtual void ClearChart() = 0;                                    // empties the three series
    virtual void AddChartPoint(int series, double x, double y, const QString& label) = 0;
    virtual void ShowChart() = 0;                                     // shows the points added
    virtual void MarkHoldout(double x) = 0;                           // marks the hold-out's start; ClearChart removes it

private:
    // Makes `network` the controller's, with Layers, Iil and Iol its shape.
    void UseNetwork(std::unique_ptr<TRavoAnn> network);
    // Shows the points a prediction has added, the hold-out's start marked.
    void ShowPredictedChart();
};
