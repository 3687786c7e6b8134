// The main window TBrelvanF: the one window of the program and, at the same
// time, its controller.  It owns the network, the price rows in memory and
// every piece of run state; every operation of the program is one of its
// methods.  The methods of the database layer live in db/, those of the
// price commands in prices/.
#pragma once

#include "ann/URavoAnn.h"
#include "app/Controls.h"
#include "app/Convert.h"

#include <QFont>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

// One price row in memory.
struct TData {
    std::int32_t cnt = 0;   // row number from 1; equals CNT in AYNK
    TDateTime dt = 0;       // the trading day (whole days)
    float EndV = 0;         // the close, normalised into the network's range
    float OpnV = 0;         // declared, never filled
    float HiV = 0;          // declared, never filled
    float LoV = 0;          // declared, never filled
};

// The statement builder's 60 text slots, indexed 1..60; any other index
// raises ERangeError.
class TSlots {
public:
    static constexpr int Count = 60;
    QString& operator[](int index);
    const QString& operator[](int index) const;
private:
    std::array<QString, Count> fSlots;
};

class TBrelvanF : public QWidget {
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
    // data page
    TPanel* b01P;  TDBGrid* bDG;
    // settings page
    TPanel* c01TpP;  TPanel* c02bpP;  TDBGrid* cdg;
    QLabel* c10ModL;  QLabel* c11cntL;  QLabel* c12dtL;  QLabel* c13tfL;  QLabel* c14dnL;
    QLabel* c15lnnL;  QLabel* c16lnrL;  QLabel* c17ly1L;  QLabel* c22mse1L;  QLabel* c17lyipnL;
    QLabel* c18lym1nL;  QLabel* c19lym2nL;  QLabel* c20lyopnL;  QLabel* c21lntmL;  QLabel* c22mseL;
    QLabel* c23tyoL;
    QLineEdit* c12dtE;  QLineEdit* c13tfE;  QLineEdit* c14dnE;  QLineEdit* c15lnnE;  QLineEdit* c16lnrE;
    QLineEdit* c17lyipnE;  QLineEdit* c18lym1nE;  QLineEdit* c19lym2nE;  QLineEdit* c20lyopnE;
    QLineEdit* c21lntmE;  QLineEdit* c22mseE;  QLineEdit* c23tyoE;
    QPushButton* c24rgB;

    // ---- Statement builder and execution (db/) -----------------------------
    void ucSql(std::int32_t id);
    void ucNul(QString& st, std::int32_t id, std::int32_t il);
    void uexSql();
    void uexSqlM();
    // ---- Database start-up, catalogue, price grid (db/) --------------------
    void uqCdb();
    void uqCtbl(std::int32_t id);
    void uqTst(std::int32_t id);
    void uqb(std::int32_t id);
    // ---- Settings page and run register (app/) -----------------------------
    void uqc(std::int32_t id);
    void udc(std::int32_t id);
    // ---- Prices (prices/) --------------------------------------------------
    float normalize(float s) const;
    float renormalize(float s) const;
    void y01setChart();   // app/
    void y02rdDat();
    void y03lean();
    void y04Yosok();
    void y05znYos();

    // ---- Event handlers (each runs under the default error handler) --------
    void pcDrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active);
    void FormActivate();
    void FormDestroy();
    void a04RdBClick();
    void a05Yo1BClick();
    void a06Yo2BClick();
    void a04RdBEnter();
    void a04RdBExit();
    void c24rgBClick();

    // The commands call this first: it raises an error with a clear message
    // while the start-up sequence has not run to its end (no network yet).
    void RequireStarted() const;
    bool Started() const { return fStarted; }

    // ---- Controller state ---------------------------------------------------
    // Public so that the headless driver and the tests can read it; only the
    // controller's own operations change it.
    TSlots sa;
    QString sqw;    // the statement being built or about to be executed
    QString stdb;   // "csq" (file) or "csqM" (in-memory): the type rule of a create
    QString stid;   // TBID of the table found by the last look-up
    QString stnm;   // name of the current table
    QString swh;    // clause appended to a select or update
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

    // The clock the training run reads its start and end from (date and time
    // of day); tests replace it.
    std::function<TDateTime()> Clock = Now;

    // Outcome of the last uexSql/uexSqlM: they swallow errors, but callers
    // that must tell the user (the run register) can read them here.
    bool LastSqlOk = true;
    QString LastSqlError;

protected:
    bool event(QEvent* e) override;   // raises FormActivate on activation
    bool eventFilter(QObject* watched, QEvent* e) override;   // focus hint of a04RdB

private:
    void BuildMainPage();
    void BuildDataPage();
    void BuildSettingsPage();
    void ConnectHandlers();
    void BindGrids();           // to the data module's sources, once it exists
    void StartUp();             // the start-up sequence proper
    void RequireDatabase() const;

    bool fStartingUp = false;   // guards the start-up against nested activations
    bool fStarted = false;      // the start-up sequence has run to its end
    bool fRetryArmed = true;    // an activation may (re)run the start-up
    bool fDbReady = false;      // the database start-up has run to its end
};

// The window's font: "ＭＳ ゴシック" where it exists, else the installed
// Japanese Gothic, 23 pixels high.
QFont WindowFont();

// Largest input or output layer the start-up accepts.
constexpr std::int32_t MaxLayerSize = 1000;

// The size of the input or output layer from its settings text: a whole
// number from 1 to MaxLayerSize.  EConvertError for a text that is no whole
// number, ERangeError naming the layer and the value for one out of range.
std::int32_t LayerSizeFromText(const QString& text, const QString& layerName);

// The one main window.
extern TBrelvanF* BrelvanF;
