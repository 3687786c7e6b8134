// The main window: its controls, the tab drawing, the focus hint, the
// start-up sequence on the first activation and the window's destruction.
#include "app/BrelvanU.h"

#include "app/Dialogs.h"
#include "app/Styles.h"
#include "prices/PriceExport.h"
#include "app/Worker.h"
#include "prices/PriceTexts.h"
#include "base/Errors.h"
#include "db/Data.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFrame>

TBrelvanF* BrelvanF = nullptr;

namespace {

const QString kMarker = QStringLiteral("a01P");
// The window's client area as laid out, which is also its smallest size.
constexpr QSize kDesignSize(904, 641);
// Of the height the window gains, the log takes this share and the chart the rest.
constexpr double kLogShare = 0.25;
const QString kHint = QStringLiteral("このﾌﾟﾛｸﾞﾗﾑと同じﾌｫﾙﾀﾞに CSV ﾌｧｲﾙを配置");

template <class Widget>
Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int left, int top, int width)
{
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setGeometry(left, top, width, 25);
    return button;
}

QLabel* MakeLabel(const char* name, const QString& caption, QWidget* parent, int left, int top)
{
    auto* label = Named(new QLabel(caption, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(const char* name, QWidget* parent, int left, int top, int width, bool editable)
{
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setGeometry(left, top, width, 31);
    edit->setEnabled(editable);
    return edit;
}

// Gives an edit too narrow for the widest text it is to show the largest
// font, up to its own, in which that text shows whole: the edit keeps its
// place and size.
void FitFontTo(QLineEdit* edit, const QString& widest)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    // QLineEdit's own margin of 2 pixels on each side, and the cursor's pixel.
    const int room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 4 - 1;
    QFont font = edit->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(widest) > room)
        font.setPixelSize(font.pixelSize() - 1);
    edit->setFont(font);
}

}  // namespace

QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(23);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

// ---- Construction: the controls and nothing else --------------------------------

TBrelvanF::TBrelvanF(QWidget* parent) : QWidget(parent), fAnchors(kDesignSize), fWorker(new TWorker(this))
{
    setObjectName(QStringLiteral("BrelvanF"));
    setWindowTitle(QStringLiteral("BrelvanF"));
    setFont(WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setGeometry(QRect(QPoint(190, 120), kDesignSize));
    setMinimumSize(kDesignSize);

    // The bottom bar comes first in the tab order, the page control second.
    auto* frame = new TAlignLayout(this);
    z01P = new TPanel(QStringLiteral("z01P"), this);
    z01P->resize(904, 40);
    frame->AddWidget(z01P, TAlignLayout::alBottom);
    z02clbB = MakeButton("z02clbB", QStringLiteral("閉じる(&C)"), z01P, 736, 8, 120);
    z02clbB->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    // Wide enough for its glyph and caption inside its border.
    z02clbB->resize(std::max(z02clbB->width(), z02clbB->sizeHint().width()), z02clbB->height());

    pc = Named(new TPageControl(this), "pc");
    frame->AddWidget(pc, TAlignLayout::alClient);
    ats = Named(new QWidget, "ats");
    bts = Named(new QWidget, "bts");
    cts = Named(new QWidget, "cts");
    pc->addTab(ats, QStringLiteral("Aﾒｲﾝ"));
    pc->addTab(bts, QStringLiteral("ﾃﾞｰﾀ"));
    pc->addTab(cts, QStringLiteral("条件等"));

    BuildMainPage();
    BuildDataPage();
    BuildSettingsPage();
    pc->SetActivePage(cts);
    ConnectHandlers();
    BuildFileCommands();
    AnchorControls();
    SetUpKeyboard();
}

// At the design size every control stands where it was placed.  A larger
// window gives its extra width to the log, the chart and the progress bar,
// and its extra height to the log and, most of it, to the chart; the close
// button keeps to the right end of the bottom bar.  The grids fill their
// pages already, and everything else keeps its place and size.
void TBrelvanF::AnchorControls()
{
    fAnchors.Anchor(z02clbB, {1, 0, 1, 0});
    fAnchors.Anchor(a02mM, {0, 0, 1, kLogShare});
    fAnchors.Anchor(a03Cht, {0, kLogShare, 1, 1});
    fAnchors.Anchor(a07PrgBar, {0, 1, 1, 1});
}

// Enter presses a focused button as Space does.  Ctrl+Tab and Ctrl+PgDn
// show the next page, Ctrl+Shift+Tab and Ctrl+PgUp the previous one, from
// any control: the window's shortcuts come before the controls' own keys, so
// the grids and the log change page too.  The focus goes with the page to
// the control that had it there last, or to the page's first (on the data
// page, the price grid).
void TBrelvanF::SetUpKeyboard()
{
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(true);
    const auto pageKeys = [this](const QList<QKeySequence>& keys, int step) {
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(keys);
        connect(shortcut, &QShortcut::activated, this, [this, step] { ShowNextPage(step); });
    };
    pageKeys({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1);
    // Shift+Tab comes as Backtab.
    pageKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
              QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
             -1);
    bDG->setFocus(Qt::OtherFocusReason);   // the window is not shown yet: this marks the page's first
}

void TBrelvanF::ShowNextPage(int step)
{
    const int pages = pc->count();
    pc->setCurrentIndex(((pc->currentIndex() + step) % pages + pages) % pages);
}

void TBrelvanF::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    fAnchors.Apply(size());
}

void TBrelvanF::BuildMainPage()
{
    auto* layout = new TAlignLayout(ats);
    a01P = new TPanel(QStringLiteral("a01P"), ats);
    a01P->resize(904, 40);
    a01P->SetCaption(kMarker);
    layout->AddWidget(a01P, TAlignLayout::alTop);
    a02mM = Named(new TMemo(ats), "a02mM");
    a02mM->setGeometry(192, 56, 681, 169);
    a03Cht = Named(new TChart(ats), "a03Cht");
    a03Cht->setGeometry(16, 240, 857, 305);
    a04RdB = MakeButton("a04RdB", QStringLiteral("読込学習"), ats, 24, 72, 120);
    a05Yo1B = MakeButton("a05Yo1B", QStringLiteral("予測1"), ats, 24, 120, 120);
    a06Yo2B = MakeButton("a06Yo2B", QStringLiteral("全予測"), ats, 24, 176, 120);
    // Below the command buttons the one that stops them, below the chart the
    // progress of a running command, in the room the page has left there.
    a08StpB = MakeButton("a08StpB", QStringLiteral("中止"), ats, 24, 208, 120);
    a08StpB->setEnabled(false);
    a07PrgBar = Named(new QProgressBar(ats), "a07PrgBar");
    a07PrgBar->setGeometry(16, 548, 857, 16);
    QFont small = WindowFont();
    small.setPixelSize(12);
    a07PrgBar->setFont(small);
    a07PrgBar->setAlignment(Qt::AlignCenter);
    a07PrgBar->setTextVisible(true);
    a07PrgBar->setRange(0, 1);
    a07PrgBar->reset();
    // The tab order follows the rows of the layout: the buttons before the log.
    setTabOrder(a04RdB, a05Yo1B);
    setTabOrder(a05Yo1B, a06Yo2B);
    setTabOrder(a06Yo2B, a08StpB);
    setTabOrder(a08StpB, a02mM);
}

void TBrelvanF::BuildDataPage()
{
    auto* layout = new TAlignLayout(bts);
    b01P = new TPanel(QStringLiteral("b01P"), bts);
    b01P->resize(904, 41);
    layout->AddWidget(b01P, TAlignLayout::alTop);
    bDG = Named(new TDBGrid(bts), "bDG");
    bDG->horizontalHeader()->setFont(WindowFont());
    // The columns the CSV export writes too.  Prices show whole up to
    // "99,999.99", row numbers up to seven digits, whatever the display
    // widths say.
    std::vector<TDBGrid::TColumn> columns;
    for (const TPriceColumn& column : PriceGridColumns()) {
        switch (column.Kind) {
        case TCellKind::Text: columns.push_back({column.Field, column.Title}); break;
        case TCellKind::Number: columns.push_back({column.Field, column.Title, TDBGrid::TFormat::Number, 7}); break;
        case TCellKind::Price: columns.push_back({column.Field, column.Title, TDBGrid::TFormat::Price, 9}); break;
        }
    }
    bDG->SetColumns(std::move(columns));
    layout->AddWidget(bDG, TAlignLayout::alClient);
}

void TBrelvanF::BuildSettingsPage()
{
    auto* layout = new TAlignLayout(cts);
    c01TpP = new TPanel(QStringLiteral("c01TpP"), cts);
    c01TpP->resize(904, 300);
    layout->AddWidget(c01TpP, TAlignLayout::alTop);
    c02bpP = new TPanel(QStringLiteral("c02bpP"), cts);
    c02bpP->resize(904, 40);
    layout->AddWidget(c02bpP, TAlignLayout::alBottom);
    cdg = Named(new TDBGrid(cts), "cdg");
    cdg->horizontalHeader()->setFont(WindowFont());
    // The error figures are prices.
    using TFormat = TDBGrid::TFormat;
    cdg->SetColumns({{QStringLiteral("DT"), QStringLiteral("日付")},
                     {QStringLiteral("DN"), QStringLiteral("行数"), TFormat::Number},
                     {QStringLiteral("LNN"), QStringLiteral("学習数"), TFormat::Number},
                     {QStringLiteral("LNR"), QStringLiteral("学習率"), TFormat::Number},
                     {QStringLiteral("LYIPN"), QStringLiteral("入層"), TFormat::Number},
                     {QStringLiteral("LYM1N"), QStringLiteral("中1層"), TFormat::Number},
                     {QStringLiteral("LYM2N"), QStringLiteral("中2層"), TFormat::Number},
                     {QStringLiteral("LYOPN"), QStringLiteral("出層"), TFormat::Number},
                     {QStringLiteral("LNTM"), QStringLiteral("学習時間"), TFormat::Number},
                     {QStringLiteral("MSE"), QStringLiteral("平均二乗誤差"), TFormat::Number},
                     {QStringLiteral("VLDN"), QStringLiteral("検証日数"), TFormat::Number},
                     {QStringLiteral("RSD"), QStringLiteral("乱数シード"), TFormat::Number},
                     {QStringLiteral("VMAE"), QStringLiteral("予測MAE"), TFormat::Price},
                     {QStringLiteral("BMAE"), QStringLiteral("前日終値MAE"), TFormat::Price},
                     {QStringLiteral("VRMSE"), QStringLiteral("予測RMSE"), TFormat::Price},
                     {QStringLiteral("BRMSE"), QStringLiteral("前日終値RMSE"), TFormat::Price},
                     {QStringLiteral("VHIT"), QStringLiteral("的中率%"), TFormat::Number},
                     {QStringLiteral("TYO"), QStringLiteral("摘要")},
                     {QStringLiteral("CNT"), QString(), TFormat::Number},
                     {QStringLiteral("TF"), QString(), TFormat::Number}});
    layout->AddWidget(cdg, TAlignLayout::alClient);

    QWidget* p = c01TpP;
    c10ModL = MakeLabel("c10ModL", QStringLiteral("新規"), p, 32, 16);
    c11cntL = MakeLabel("c11cntL", QString(), p, 112, 16);
    c11cntL->resize(120, c10ModL->height());
    c12dtL = MakeLabel("c12dtL", QStringLiteral("日時"), p, 100, 56);
    c13tfL = MakeLabel("c13tfL", QStringLiteral("時間枠"), p, 260, 56);
    c14dnL = MakeLabel("c14dnL", QStringLiteral("行数"), p, 350, 56);
    c15lnnL = MakeLabel("c15lnnL", QStringLiteral("学習数"), p, 420, 56);
    c16lnrL = MakeLabel("c16lnrL", QStringLiteral("学習率"), p, 516, 56);
    c17ly1L = MakeLabel("c17ly1L", QStringLiteral("各層(ﾚｲﾔ)のﾆｭｰﾛﾝ数"), p, 76, 138);
    c22mse1L = MakeLabel("c22mse1L", QStringLiteral("平均二乗誤差"), p, 440, 138);
    c17lyipnL = MakeLabel("c17lyipnL", QStringLiteral("入力層"), p, 24, 168);
    c18lym1nL = MakeLabel("c18lym1nL", QStringLiteral("中間層1"), p, 100, 168);
    c19lym2nL = MakeLabel("c19lym2nL", QStringLiteral("中間層2"), p, 190, 168);
    c20lyopnL = MakeLabel("c20lyopnL", QStringLiteral("出力層"), p, 280, 168);
    c21lntmL = MakeLabel("c21lntmL", QStringLiteral("学時間"), p, 360, 168);
    c22mseL = MakeLabel("c22mseL", QStringLiteral("MSE"), p, 496, 168);
    c23tyoL = MakeLabel("c23tyoL", QStringLiteral("摘要"), p, 632, 168);
    c25vldnL = MakeLabel("c25vldnL", QStringLiteral("検証日数"), p, 602, 56);
    c26rsdL = MakeLabel("c26rsdL", QStringLiteral("乱数シード"), p, 708, 56);
    c27vld1L = MakeLabel("c27vld1L", QStringLiteral("検証期間の誤差"), p, 734, 262);
    c27vmaeL = MakeLabel("c27vmaeL", QStringLiteral("予測MAE"), p, 26, 232);
    c28bmaeL = MakeLabel("c28bmaeL", QStringLiteral("前日終値MAE"), p, 156, 232);
    c29vrmseL = MakeLabel("c29vrmseL", QStringLiteral("予測RMSE"), p, 306, 232);
    c30brmseL = MakeLabel("c30brmseL", QStringLiteral("前日終値RMSE"), p, 436, 232);
    c31vhitL = MakeLabel("c31vhitL", QStringLiteral("方向的中率%"), p, 596, 232);

    // Created in the keyboard's tab order.
    c12dtE = MakeEdit("c12dtE", p, 24, 88, 224, false);
    c13tfE = MakeEdit("c13tfE", p, 250, 88, 88, false);
    c14dnE = MakeEdit("c14dnE", p, 340, 88, 68, false);
    FitFontTo(c14dnE, QStringLiteral("000000"));   // six-digit row counts between its neighbours
    c15lnnE = MakeEdit("c15lnnE", p, 410, 88, 99, true);
    c16lnrE = MakeEdit("c16lnrE", p, 510, 88, 88, false);
    c25vldnE = MakeEdit("c25vldnE", p, 600, 88, 99, true);
    c26rsdE = MakeEdit("c26rsdE", p, 700, 88, 140, true);
    c17lyipnE = MakeEdit("c17lyipnE", p, 24, 192, 74, true);
    c18lym1nE = MakeEdit("c18lym1nE", p, 100, 192, 88, false);
    c19lym2nE = MakeEdit("c19lym2nE", p, 190, 192, 88, false);
    c20lyopnE = MakeEdit("c20lyopnE", p, 280, 192, 78, true);
    c21lntmE = MakeEdit("c21lntmE", p, 360, 192, 78, false);
    c22mseE = MakeEdit("c22mseE", p, 440, 192, 148, false);
    c23tyoE = MakeEdit("c23tyoE", p, 590, 192, 140, true);
    c27vmaeE = MakeEdit("c27vmaeE", p, 24, 258, 120, false);
    c28bmaeE = MakeEdit("c28bmaeE", p, 154, 258, 140, false);
    c29vrmseE = MakeEdit("c29vrmseE", p, 304, 258, 120, false);
    c30brmseE = MakeEdit("c30brmseE", p, 434, 258, 150, false);
    c31vhitE = MakeEdit("c31vhitE", p, 594, 258, 130, false);
    c24rgB = MakeButton("c24rgB", QStringLiteral("登録(&R)"), p, 760, 192, 100);
    QWidget* order[] = {c12dtE, c13tfE, c14dnE, c15lnnE, c16lnrE, c25vldnE, c26rsdE, c17lyipnE, c18lym1nE,
                        c19lym2nE, c20lyopnE, c21lntmE, c22mseE, c23tyoE, c27vmaeE, c28bmaeE, c29vrmseE,
                        c30brmseE, c31vhitE, c24rgB};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

// Every handler runs under the default error handler: the commands' own
// handlers (Commands.cpp) guard themselves, the register shows the wait
// cursor while it writes.
void TBrelvanF::ConnectHandlers()
{
    connect(a04RdB, &QPushButton::clicked, this, [this] { a04RdBClick(); });
    connect(a05Yo1B, &QPushButton::clicked, this, [this] { a05Yo1BClick(); });
    connect(a06Yo2B, &QPushButton::clicked, this, [this] { a06Yo2BClick(); });
    connect(a08StpB, &QPushButton::clicked, this, [this] { Guarded([this] { a08StpBClick(); }); });
    connect(c24rgB, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            TWaitCursor wait;
            c24rgBClick();
        });
    });
    // Esc stops a running command as "中止" does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (a08StpB->isEnabled())
            a08StpB->click();
    });
    connect(fWorker, &TWorker::progressed, this, [this](qint64 done, qint64 total) {
        Guarded([&] { TrainingProgressed(done, total); });
    });
    connect(z02clbB, &QPushButton::clicked, this, [this] { Guarded([this] { close(); }); });
    pc->SetOnDrawTab([this](QPainter& canvas, int tabIndex, const QRect& rect, bool active) {
        Guarded([&] { pcDrawTab(canvas, tabIndex, rect, active); });
    });
    a04RdB->installEventFilter(this);
}

void TBrelvanF::BindGrids()
{
    if (!dm)
        return;
    if (bDG->DataSource() != &dm->bds)
        bDG->SetDataSource(&dm->bds);
    if (cdg->DataSource() != &dm->cds)
        cdg->SetDataSource(&dm->cds);
}

TBrelvanF::~TBrelvanF()
{
    // A step still running works on the network and the rows: it ends first.
    fWorker->Abandon();
    if (CommandRunning())
        QGuiApplication::restoreOverrideCursor();
    Guarded([this] { FormDestroy(); });
    // The grids show the data module's queries, which may outlive the window.
    bDG->SetDataSource(nullptr);
    cdg->SetDataSource(nullptr);
    if (BrelvanF == this)
        BrelvanF = nullptr;
}

// ---- Events ------------------------------------------------------------------------

bool TBrelvanF::event(QEvent* e)
{
    const bool handled = QWidget::event(e);
    switch (e->type()) {
    case QEvent::Show:
        ShowFocusAlways();
        Guarded([this] { BindGrids(); });
        break;
    case QEvent::WindowActivate:
        ShowFocusAlways();
        FormActivate();
        break;
    case QEvent::WindowDeactivate:
        // Leaving the window arms a retry of a start-up that stopped early;
        // the message box that reported the failure does not.
        if (!fStartingUp)
            fRetryArmed = true;
        break;
    default:
        break;
    }
    return handled;
}

// The style draws the focus of buttons and edits only once the keyboard
// has moved it, and showing the window forgets that: the focus is shown
// however it came, from the start-up's focus on 読込学習 on.
void TBrelvanF::ShowFocusAlways() { setAttribute(Qt::WA_KeyboardFocusChange); }

bool TBrelvanF::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == a04RdB && (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (e->type() == QEvent::FocusIn)
            Guarded([this] { a04RdBEnter(); });
        else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Guarded([this] { a04RdBExit(); });   // not when a message box takes over for a moment
    }
    return QWidget::eventFilter(watched, e);
}

// The selected tab's caption in red, the others in the surface's font colour,
// which the page control sets to its text colour: black on the light look,
// light on the dark one, where black would not read.
void TBrelvanF::pcDrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active)
{
    if (active)
        canvas.setPen(SelectedTabColour());
    canvas.fillRect(rect, canvas.brush());
    const QRect text(rect.left() + 6, rect.top() + 3, std::max(0, rect.width() - 6), std::max(0, rect.height() - 3));
    canvas.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, pc->tabText(tabIndex));
}

void TBrelvanF::a04RdBEnter() { a01P->SetCaption(kHint); }
void TBrelvanF::a04RdBExit() { a01P->SetCaption(QString()); }

void TBrelvanF::FormDestroy() { Ann.reset(); }

// ---- Start-up ----------------------------------------------------------------------

void TBrelvanF::FormActivate()
{
    // Runs once per program run.  A nested activation (a message box shown
    // during the sequence hands it back) finds fStartingUp set; after a
    // start-up that stopped early, only an activation that follows leaving
    // the window retries it, so that the failure's own message cannot loop.
    if (fStarted || fStartingUp || !fRetryArmed || fClosing)
        return;
    if (!dm)   // the data module comes right after the window; its activation starts up
        return;
    fStartingUp = true;
    fRetryArmed = false;
    struct TReset {
        bool& Flag;
        ~TReset() { Flag = false; }
    } reset{fStartingUp};
    Guarded([this] {
        try {
            StartUp();
        } catch (const EDatabaseInUse&) {
            // Another copy of the program holds the database: this copy says
            // so once, out of the first one's way, and ends.
            fClosing = true;
            hide();
            throw;
        }
    });
    if (fClosing)
        close();
}

void TBrelvanF::StartUp()
{
    {
        TWaitCursor wait;
        uqCdb();
        fDbReady = true;
        udc(1);
        Iil = LayerSizeFromText(c17lyipnE->text(), QStringLiteral("入力層"));
        Iol = LayerSizeFromText(c20lyopnE->text(), QStringLiteral("出力層"));
        Idn = 0;
        Layers = {Iil, 7, 3, Iol};
        Ann = std::make_unique<TRavoAnn>(Layers, 0.005f, TRavoActivationFunc::Sigmoid);
        y01setChart();
        uqb(1);
    }
    a01P->SetCaption(QString());
    pc->SetActivePage(ats);
    fStarted = true;
    // A message box shown during the start-up may have taken the activation
    // with it; the focus (and with it the hint) needs the window active.
    if (!isActiveWindow())
        activateWindow();
    a04RdB->setFocus(Qt::OtherFocusReason);
}

void TBrelvanF::RequireStarted() const
{
    if (!fStarted)
        throw EBrelvanError(NotStartedText());
    TBrelvanPrices::RequireStarted();
}

void TBrelvanF::RequireDatabase() const
{
    if (!fDbReady || !dm)
        throw EBrelvanError(NotStartedText());
}

// ---- The window as the price commands see it ------------------------------------------

QLineEdit* TBrelvanF::SettingEdit(TSetting field) const
{
    switch (field) {
    case TSetting::DT: return c12dtE;
    case TSetting::TF: return c13tfE;
    case TSetting::DN: return c14dnE;
    case TSetting::LNN: return c15lnnE;
    case TSetting::LNR: return c16lnrE;
    case TSetting::LYIPN: return c17lyipnE;
    case TSetting::LYM1N: return c18lym1nE;
    case TSetting::LYM2N: return c19lym2nE;
    case TSetting::LYOPN: return c20lyopnE;
    case TSetting::LNTM: return c21lntmE;
    case TSetting::MSE: return c22mseE;
    case TSetting::TYO: return c23tyoE;
    case TSetting::VLDN: return c25vldnE;
    case TSetting::RSD: return c26rsdE;
    case TSetting::VMAE: return c27vmaeE;
    case TSetting::BMAE: return c28bmaeE;
    case TSetting::VRMSE: return c29vrmseE;
    case TSetting::BRMSE: return c30brmseE;
    case TSetting::VHIT: return c31vhitE;
    }
    throw ERangeError(QStringLiteral("設定欄 %1 はありません").arg(int(field)));
}

void TBrelvanF::AddLogLine(const QString& line) { a02mM->Add(line); }
QString TBrelvanF::Setting(TSetting field) const { return SettingEdit(field)->text(); }
void TBrelvanF::SetSetting(TSetting field, const QString& text) { SettingEdit(field)->setText(text); }
void TBrelvanF::SetDataCaption(const QString& caption) { b01P->SetCaption(caption); }

void TBrelvanF::ClearChart()
{
    for (int s : {kActualSeries, kSameDaySeries, kNextDaySeries})
        a03Cht->Series(s)->Clear();
    a03Cht->ClearMark();
}

void TBrelvanF::AddChartPoint(int series, double x, double y, const QString& label)
{
    a03Cht->Series(series)->AddXY(x, y, label);
}

void TBrelvanF::ShowChart() { a03Cht->UpdateAxes(); }

void TBrelvanF::MarkHoldout(double x) { a03Cht->SetMark(x, QStringLiteral("検証期間の始まり")); }
