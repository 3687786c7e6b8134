// The main window as the user meets it: its layout, the start-up on the first
// activation, the focus hint, the owner-drawn tabs, and the start-up's
// behaviour when it cannot complete.
#include "WindowFixture.h"

#include "base/Errors.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSqlRecord>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QtTest/QTest>
#include <QProgressBar>
#include <map>

namespace {

const QString kHint = QStringLiteral("このﾌﾟﾛｸﾞﾗﾑと同じﾌｫﾙﾀﾞに CSV ﾌｧｲﾙを配置");
const QString kNotStarted = QStringLiteral("起動処理が完了していません");

struct TPlace {
    const char* Name;
    int Left, Top, Width, Height;
    const char* Text;   // caption of a button, label or panel; nullptr: not checked
};

// Places within the parent, as laid out.
const TPlace kPlaces[] = {
    {"a02mM", 192, 56, 681, 169, nullptr},
    {"a03Cht", 16, 240, 857, 305, nullptr},
    {"a04RdB", 24, 72, 120, 25, "読込学習"},
    {"a05Yo1B", 24, 120, 120, 25, "予測1"},
    {"a06Yo2B", 24, 176, 120, 25, "全予測"},
    {"c12dtE", 24, 88, 224, 31, nullptr},
    {"c13tfE", 250, 88, 88, 31, nullptr},
    {"c14dnE", 340, 88, 68, 31, nullptr},
    {"c15lnnE", 410, 88, 99, 31, nullptr},
    {"c16lnrE", 510, 88, 88, 31, nullptr},
    {"c17lyipnE", 24, 192, 74, 31, nullptr},
    {"c18lym1nE", 100, 192, 88, 31, nullptr},
    {"c19lym2nE", 190, 192, 88, 31, nullptr},
    {"c20lyopnE", 280, 192, 78, 31, nullptr},
    {"c21lntmE", 360, 192, 78, 31, nullptr},
    {"c22mseE", 440, 192, 148, 31, nullptr},
    {"c23tyoE", 590, 192, 140, 31, nullptr},
    {"c24rgB", 760, 192, 100, 25, "登録(&R)"},
    {"c25vldnE", 600, 88, 99, 31, nullptr},
    {"c26rsdE", 700, 88, 140, 31, nullptr},
    {"c27vmaeE", 24, 258, 120, 31, nullptr},
    {"c28bmaeE", 154, 258, 140, 31, nullptr},
    {"c29vrmseE", 304, 258, 120, 31, nullptr},
    {"c30brmseE", 434, 258, 150, 31, nullptr},
    {"c31vhitE", 594, 258, 130, 31, nullptr},
};

struct TLabelPlace {
    const char* Name;
    int Left, Top;
    const char* Text;
};

const TLabelPlace kLabels[] = {
    {"c10ModL", 32, 16, "新規"},          {"c12dtL", 100, 56, "日時"},
    {"c13tfL", 260, 56, "時間枠"},        {"c14dnL", 350, 56, "行数"},
    {"c15lnnL", 420, 56, "学習数"},       {"c16lnrL", 516, 56, "学習率"},
    {"c17ly1L", 76, 138, "各層(ﾚｲﾔ)のﾆｭｰﾛﾝ数"}, {"c22mse1L", 440, 138, "平均二乗誤差"},
    {"c17lyipnL", 24, 168, "入力層"},     {"c18lym1nL", 100, 168, "中間層1"},
    {"c19lym2nL", 190, 168, "中間層2"},   {"c20lyopnL", 280, 168, "出力層"},
    {"c21lntmL", 360, 168, "学時間"},     {"c22mseL", 496, 168, "MSE"},
    {"c23tyoL", 632, 168, "摘要"},         {"c25vldnL", 602, 56, "検証日数"},
    {"c26rsdL", 708, 56, "乱数シード"},   {"c27vld1L", 734, 262, "検証期間の誤差"},
    {"c27vmaeL", 26, 232, "予測MAE"},     {"c28bmaeL", 156, 232, "前日終値MAE"},
    {"c29vrmseL", 306, 232, "予測RMSE"},  {"c30brmseL", 436, 232, "前日終値RMSE"},
    {"c31vhitL", 596, 232, "方向的中率%"},
};

QString TextOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return {};
}

QStringList PageValues(const TBrelvanF& w)
{
    QStringList values{w.c11cntL->text()};
    for (QLineEdit* edit : {w.c12dtE, w.c13tfE, w.c14dnE, w.c15lnnE, w.c16lnrE, w.c17lyipnE, w.c18lym1nE,
                            w.c19lym2nE, w.c20lyopnE, w.c21lntmE, w.c22mseE, w.c23tyoE, w.c25vldnE, w.c26rsdE,
                            w.c27vmaeE, w.c28bmaeE, w.c29vrmseE, w.c30brmseE, w.c31vhitE})
        values << edit->text();
    return values;
}

}  // namespace

using MainWindow = WindowFixture;

TEST_F(MainWindow, IsLaidOutAsDesignedBeforeItsFirstActivation)
{
    form = std::make_unique<TBrelvanF>();
    TBrelvanF& w = *form;
    EXPECT_EQ(w.windowTitle(), "BrelvanF");
    EXPECT_EQ(w.objectName(), "BrelvanF");
    EXPECT_EQ(w.geometry(), QRect(190, 120, 904, 641));
    EXPECT_EQ(w.pc->ActivePage(), w.cts);
    EXPECT_EQ(w.a01P->Caption(), "a01P");
    EXPECT_EQ(w.b01P->Caption(), "");
    EXPECT_FALSE(w.Started());
    EXPECT_EQ(w.Ann, nullptr);
    QStringList tabs;
    for (int i = 0; i < w.pc->count(); ++i)
        tabs << w.pc->tabText(i);
    EXPECT_EQ(tabs, QStringList({"Aﾒｲﾝ", "ﾃﾞｰﾀ", "条件等"}));
    EXPECT_EQ(w.pc->widget(0), w.ats);

    w.show();   // lays out the docked bars
    QCoreApplication::processEvents();
    form->hide();
    EXPECT_EQ(w.z01P->geometry(), QRect(0, 601, 904, 40));
    EXPECT_EQ(w.pc->geometry(), QRect(0, 0, 904, 601));
    EXPECT_EQ(w.a01P->geometry().height(), 40);
    EXPECT_EQ(w.b01P->geometry().height(), 41);
    EXPECT_EQ(w.c01TpP->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(w.c01TpP->height(), 300);
    EXPECT_EQ(w.c02bpP->height(), 40);
    EXPECT_EQ(w.c02bpP->geometry().bottom(), w.cts->height() - 1);
    EXPECT_EQ(w.cdg->geometry(), QRect(0, 300, w.cts->width(), w.cts->height() - 340));

    for (const TPlace& place : kPlaces) {
        SCOPED_TRACE(place.Name);
        auto* widget = w.findChild<QWidget*>(QString::fromLatin1(place.Name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(place.Left, place.Top, place.Width, place.Height));
        if (place.Text) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(place.Text));
        }
    }
    // The close button at its place, as wide as its glyph and caption need.
    EXPECT_EQ(w.z02clbB->geometry().topLeft(), QPoint(736, 8));
    EXPECT_EQ(w.z02clbB->height(), 25);
    EXPECT_GE(w.z02clbB->width(), 120);
    EXPECT_EQ(w.z02clbB->text(), "閉じる(&C)");
    for (const TLabelPlace& place : kLabels) {
        SCOPED_TRACE(place.Name);
        auto* label = w.findChild<QLabel*>(QString::fromLatin1(place.Name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->pos(), QPoint(place.Left, place.Top));
        EXPECT_EQ(label->text(), QString::fromUtf8(place.Text));
    }
    // Only the passes, the hold-out days, the seed, the two layer sizes and
    // the remark can be edited.
    for (QLineEdit* edit : {w.c12dtE, w.c13tfE, w.c14dnE, w.c16lnrE, w.c18lym1nE, w.c19lym2nE, w.c21lntmE, w.c22mseE,
                            w.c27vmaeE, w.c28bmaeE, w.c29vrmseE, w.c30brmseE, w.c31vhitE})
        EXPECT_FALSE(edit->isEnabled()) << edit->objectName().toStdString();
    for (QLineEdit* edit : {w.c15lnnE, w.c25vldnE, w.c26rsdE, w.c17lyipnE, w.c20lyopnE, w.c23tyoE})
        EXPECT_TRUE(edit->isEnabled()) << edit->objectName().toStdString();

    // The keyboard's tab order on the settings page follows the table's rows.
    const QList<QWidget*> order = {w.c12dtE, w.c13tfE, w.c14dnE, w.c15lnnE, w.c16lnrE, w.c25vldnE, w.c26rsdE,
                                   w.c17lyipnE, w.c18lym1nE, w.c19lym2nE, w.c20lyopnE, w.c21lntmE, w.c22mseE,
                                   w.c23tyoE, w.c27vmaeE, w.c28bmaeE, w.c29vrmseE, w.c30brmseE, w.c31vhitE, w.c24rgB};
    QList<QWidget*> chain;
    for (QWidget* next = w.c12dtE; chain.size() < order.size() && !chain.contains(next); next = next->nextInFocusChain()) {
        if (order.contains(next))
            chain << next;
    }
    EXPECT_EQ(chain, order);
    // The bottom bar's close button comes before the page control.
    QWidget* first = w.nextInFocusChain();
    while (first != w.z02clbB && first != w.pc && first != &w)
        first = first->nextInFocusChain();
    EXPECT_EQ(first, w.z02clbB);

    const QFont font = w.font();
    EXPECT_EQ(font.pixelSize(), 23);
    EXPECT_TRUE(font.families().contains("IPAGothic"));
    EXPECT_EQ(font.families().front(), "ＭＳ ゴシック");
}

TEST_F(MainWindow, GivesTheRoomOfALargerWindowToTheLogAndTheChart)
{
    form = std::make_unique<TBrelvanF>();
    TBrelvanF& w = *form;
    EXPECT_EQ(w.minimumSize(), QSize(904, 641));
    w.pc->SetActivePage(w.ats);
    w.show();
    QCoreApplication::processEvents();
    // Every named button, edit and label but the close button keeps its place.
    const auto fixedPlaces = [&w] {
        std::map<QString, QRect> places;
        for (QWidget* widget : w.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QPushButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QLabel*>(widget);
            if (control && !widget->objectName().isEmpty() && widget != w.z02clbB)
                places[widget->objectName()] = widget->geometry();
        }
        return places;
    };
    const std::map<QString, QRect> before = fixedPlaces();
    ASSERT_GT(before.size(), 50u);
    const QRect close = w.z02clbB->geometry();   // its width is the one its caption needs

    w.resize(1400, 900);
    QCoreApplication::processEvents();
    ASSERT_EQ(w.size(), QSize(1400, 900));
    const int dx = 1400 - 904, dy = 900 - 641;
    const int logGrowth = (dy + 2) / 4;   // a quarter of the height, rounded
    EXPECT_EQ(w.z01P->geometry(), QRect(0, 860, 1400, 40));
    EXPECT_EQ(w.z02clbB->geometry(), close.translated(dx, 0));
    EXPECT_EQ(w.z01P->width() - w.z02clbB->geometry().right(), 904 - close.right());
    EXPECT_EQ(w.a02mM->geometry(), QRect(192, 56, 681 + dx, 169 + logGrowth));
    EXPECT_EQ(w.a03Cht->geometry(), QRect(16, 240 + logGrowth, 857 + dx, 305 + dy - logGrowth));
    EXPECT_EQ(w.a07PrgBar->geometry(), QRect(16, 548 + dy, 857 + dx, 16));
    EXPECT_EQ(w.a03Cht->geometry().bottom() + 4, w.a07PrgBar->geometry().top());
    // The grids fill their pages between the bars.
    w.pc->SetActivePage(w.bts);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.bts->size(), w.ats->size());
    EXPECT_EQ(w.bDG->geometry(), QRect(0, 41, w.bts->width(), w.bts->height() - 41));
    w.pc->SetActivePage(w.cts);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.cts->size(), w.ats->size());
    EXPECT_EQ(w.cdg->geometry(), QRect(0, 300, w.cts->width(), w.cts->height() - 340));
    EXPECT_EQ(fixedPlaces(), before);

    // It never gets smaller than it was laid out; back at that size, so is every control.
    w.resize(600, 420);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(904, 641));
    EXPECT_EQ(w.z02clbB->geometry(), close);
    EXPECT_EQ(w.a02mM->geometry(), QRect(192, 56, 681, 169));
    EXPECT_EQ(w.a03Cht->geometry(), QRect(16, 240, 857, 305));
    EXPECT_EQ(w.a07PrgBar->geometry(), QRect(16, 548, 857, 16));
    EXPECT_EQ(fixedPlaces(), before);
}

TEST_F(MainWindow, StartsUpOnAnEmptyRegisterWithTheDefaults)
{
    TBrelvanF& w = *OpenWindow();
    EXPECT_EQ(messages, CatalogueMessages());
    ASSERT_TRUE(w.Started());
    EXPECT_EQ(PageValues(w), QStringList({"", "", "", "", "400", "0.005", "7", "7", "3", "2", "", "", "", "", "", "",
                                          "", "", "", ""}));
    EXPECT_EQ(w.Layers, std::vector<std::int32_t>({7, 7, 3, 2}));
    ASSERT_NE(w.Ann, nullptr);
    EXPECT_EQ(w.Ann->NeuronCountInLayers(), w.Layers);
    EXPECT_EQ(w.Ann->LearningRate(), 0.005f);
    EXPECT_EQ(w.Ann->ActivationFunc(), TRavoActivationFunc::Sigmoid);
    EXPECT_EQ(w.Iil, 7);
    EXPECT_EQ(w.Iol, 2);
    EXPECT_EQ(w.Idn, 0);
    EXPECT_EQ(w.a03Cht->SeriesCount(), 3);
    EXPECT_TRUE(dm->qb.Active());
    EXPECT_TRUE(dm->qc.Active());

    EXPECT_EQ(w.pc->ActivePage(), w.ats);
    EXPECT_EQ(QApplication::focusWidget(), w.a04RdB);
    EXPECT_EQ(w.a01P->Caption(), kHint);

    // The hint goes with the focus and comes back with it.
    w.a05Yo1B->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.a01P->Caption(), "");
    w.a04RdB->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(w.a01P->Caption(), kHint);

    // The first registration gets run number 1.
    w.c24rgB->click();
    EXPECT_EQ(w.c11cntL->text(), "1");
    EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 1);
    EXPECT_EQ(messages, CatalogueMessages());
}

TEST_F(MainWindow, StartsUpFromTheLastOfFiveRunsAndRegistersTheSixth)
{
    CreateDatabase();
    QStringList rows;
    for (int cnt = 1; cnt <= 4; ++cnt)
        rows << RegisterRow(cnt, "'7'", "'2'");
    rows << RegisterRow(5, "'10'", "'3'", "'fifth'");
    ExecOnFile(rows);

    TBrelvanF& w = *OpenWindow();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    ASSERT_TRUE(w.Started());
    // Runs registered without figures show none.
    EXPECT_EQ(PageValues(w), QStringList({"5", "2026/01/05 10:00", "0", "5005", "305", "0.005", "10", "9", "4", "3",
                                          "0:15", "0.000005", "fifth", "", "", "", "", "", "", ""}));
    // The hidden sizes are always 7 and 3, whatever the register says.
    EXPECT_EQ(w.Layers, std::vector<std::int32_t>({10, 7, 3, 3}));
    EXPECT_EQ(w.Ann->NeuronCountInLayers(), w.Layers);
    EXPECT_EQ(w.cdg->CurrentRecord(), 4);

    w.c24rgB->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(w.c11cntL->text(), "6");
    EXPECT_EQ(dm->qc.RecordCount(), 6);
    EXPECT_EQ(w.cdg->CurrentRecord(), 5);
    EXPECT_EQ(dm->qc.FieldText("CNT"), "6");
    EXPECT_EQ(dm->qc.FieldText("LYIPN"), "10");
    EXPECT_EQ(dm->qc.FieldText("TYO"), "fifth");
}

TEST_F(MainWindow, ActivationAfterStartUpChangesNothing)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    messages.clear();
    const TRavoAnn* network = w.Ann.get();
    w.pc->SetActivePage(w.bts);
    w.a02mM->Add("line");
    w.c15lnnE->setText("12");

    Reenter();
    Activate();

    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(w.Ann.get(), network);
    EXPECT_EQ(w.pc->ActivePage(), w.bts);
    EXPECT_EQ(w.c15lnnE->text(), "12");
    EXPECT_EQ(w.a02mM->Lines(), QStringList({"line"}));
    EXPECT_NE(w.a01P->Caption(), "a01P");
}

TEST_F(MainWindow, IsDrivenFromTheKeyboard)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    messages.clear();
    // From the start-up on the style shows the focus, however it came.
    ASSERT_EQ(QApplication::focusWidget(), w.a04RdB);
    EXPECT_TRUE(w.testAttribute(Qt::WA_KeyboardFocusChange));

    // The data page, shown for the first time, gives the focus to its grid.
    QTest::keyClick(w.a04RdB, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(w.pc->ActivePage(), w.bts);
    EXPECT_EQ(QApplication::focusWidget(), w.bDG);

    // The page keys work from every kind of control, the grids included; the
    // focus goes with the page.
    struct TCase {
        const char* Name;
        QWidget* From;
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        QWidget* Shown;
    };
    const TCase cases[] = {
        {"Ctrl+Tab on a button", w.a04RdB, Qt::Key_Tab, Qt::ControlModifier, w.bts},
        {"Ctrl+Tab in the price grid", w.bDG, Qt::Key_Tab, Qt::ControlModifier, w.cts},
        {"Ctrl+Tab in the register grid", w.cdg, Qt::Key_Tab, Qt::ControlModifier, w.ats},
        {"Ctrl+Shift+Tab in the log", w.a02mM, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, w.cts},
        {"Ctrl+Shift+Tab in the price grid", w.bDG, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, w.ats},
        {"Ctrl+PgDn in an edit", w.c15lnnE, Qt::Key_PageDown, Qt::ControlModifier, w.ats},
        {"Ctrl+PgUp in the price grid", w.bDG, Qt::Key_PageUp, Qt::ControlModifier, w.ats},
        {"Ctrl+PgDn in the price grid", w.bDG, Qt::Key_PageDown, Qt::ControlModifier, w.cts},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QWidget* page = c.From->parentWidget();
        while (page != w.ats && page != w.bts && page != w.cts)
            page = page->parentWidget();
        w.pc->SetActivePage(page);
        c.From->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), c.From);
        QTest::keyClick(c.From, c.Key, c.Modifiers);
        EXPECT_EQ(w.pc->ActivePage(), c.Shown);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(c.Shown->isAncestorOf(focus)) << focus->objectName().toStdString();
    }
    // Tab leaves the log and the grids; it types nothing into the log.
    for (QWidget* control : std::initializer_list<QWidget*>{w.a02mM, w.bDG}) {
        SCOPED_TRACE(control->objectName().toStdString());
        w.pc->SetActivePage(control->parentWidget());
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), control);
    }
    EXPECT_EQ(w.a02mM->toPlainText(), "");

    // Enter, the keypad's Enter and Space press a focused button, which keeps the focus.
    w.pc->SetActivePage(w.cts);
    w.c24rgB->setFocus(Qt::TabFocusReason);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
        QTest::keyClick(w.c24rgB, key);
    EXPECT_EQ(FileValue("select count(*) from AYFS").toInt(), 3);
    EXPECT_EQ(QApplication::focusWidget(), w.c24rgB);
    // Enter on 読込学習 starts the import (which finds no price file here).
    w.pc->SetActivePage(w.ats);
    w.a04RdB->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.a04RdB, Qt::Key_Return);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.front(), "ﾌﾟﾛｸﾞﾗﾑﾌｫﾙﾀﾞ内の CSVﾌｧｲﾙ から読込みます");
    EXPECT_EQ(QApplication::focusWidget(), w.a04RdB);
}

TEST_F(MainWindow, ShowsWhereTheFocusIs)
{
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    const QColor highlight = w.palette().color(QPalette::Highlight);
    struct TCase {
        QWidget* Control;
        bool Framed;   // the window draws the focus on its frame (else the style draws it)
    };
    const TCase cases[] = {{w.a04RdB, false}, {w.a02mM, true},  {w.a03Cht, true}, {w.pc->tabBar(), false},
                           {w.bDG, true},     {w.c15lnnE, false}, {w.cdg, true}, {w.z02clbB, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Control->objectName().toStdString());
        QWidget* page = c.Control;
        while (page && page != w.ats && page != w.bts && page != w.cts)
            page = page->parentWidget();
        if (page)
            w.pc->SetActivePage(page);
        w.z02clbB->setFocus(Qt::TabFocusReason);
        if (c.Control == w.z02clbB)
            w.a04RdB->setFocus(Qt::TabFocusReason);
        const QImage unfocused = c.Control->grab().toImage();
        c.Control->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(c.Control->hasFocus());
        const QImage focused = c.Control->grab().toImage();
        EXPECT_NE(focused, unfocused);
        if (c.Framed) {
            const QPoint edge(0, focused.height() / 2);
            EXPECT_EQ(focused.pixelColor(edge), highlight);
            EXPECT_NE(unfocused.pixelColor(edge), highlight);
        }
    }
}

TEST_F(MainWindow, DrawsTheActiveTabRedAndTheOthersBlack)
{
    form = std::make_unique<TBrelvanF>();
    const QColor fill(0x20, 0x40, 0x80);
    const QRect rect(10, 5, 120, 32);
    for (int tab = 0; tab < 3; ++tab) {
        for (bool active : {true, false}) {
            SCOPED_TRACE(tab * 2 + active);
            QImage image(160, 50, QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QPainter canvas(&image);
                canvas.setFont(form->font());
                canvas.setBrush(fill);
                form->pcDrawTab(canvas, tab, rect, active);
            }
            const QColor ink = active ? QColor(255, 0, 0) : QColor(0, 0, 0);
            int inked = 0;
            QRect inkBox;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (!rect.contains(x, y)) {
                        ASSERT_EQ(c, QColor(Qt::white)) << x << "," << y;   // nothing outside the tab
                    } else if (c == ink) {
                        ++inked;
                        inkBox |= QRect(x, y, 1, 1);
                    } else if (x < rect.left() + 6 || y < rect.top() + 3) {
                        ASSERT_EQ(c, fill) << x << "," << y;   // the margin is the brush alone
                    }
                }
            }
            EXPECT_GT(inked, 20);
            EXPECT_GE(inkBox.left(), rect.left() + 6);
            EXPECT_LE(inkBox.left(), rect.left() + 9);
            EXPECT_GE(inkBox.top(), rect.top() + 3);
            EXPECT_EQ(image.pixelColor(rect.right(), rect.bottom()), fill);
        }
    }

    // On screen: the page control paints its tabs through the handler.
    TBrelvanF& w = *form;
    w.show();
    QCoreApplication::processEvents();
    const QImage bar = w.pc->tabBar()->grab().toImage();
    const auto redIn = [&bar](const QRect& r) {
        int red = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                red += bar.pixelColor(x, y) == QColor(255, 0, 0);
        return red;
    };
    for (int tab = 0; tab < 3; ++tab) {
        const QRect r = w.pc->tabBar()->tabRect(tab);
        if (tab == w.pc->currentIndex())
            EXPECT_GT(redIn(r), 20) << tab;
        else
            EXPECT_EQ(redIn(r), 0) << tab;
    }
    EXPECT_EQ(bar.pixelColor(w.pc->tabBar()->tabRect(0).center().x(), w.pc->tabBar()->tabRect(0).top() + 3),
              w.pc->TabBrush().color());
}

TEST_F(MainWindow, ReleasesTheNetworkOnDestructionAndLeavesTheDatabaseAlone)
{
    OpenWindow();
    ASSERT_TRUE(form->Started());
    form->FormDestroy();
    EXPECT_EQ(form->Ann, nullptr);
    form.reset();
    EXPECT_TRUE(dm->qc.Active());
    EXPECT_TRUE(dm->qb.Active());
    EXPECT_TRUE(dm->Csq().isOpen());
}

// ---- Start-ups that cannot complete ---------------------------------------------

TEST(LayerSize, AcceptsWholeNumbersFromOneTo9999TypedAnyWay)
{
    struct TCase {
        const char* Text;
        std::int32_t Size;       // 0: refused
        const char* Message;     // the refusal's text
    };
    const TCase cases[] = {
        {"1", 1, nullptr},
        {"1001", 1001, nullptr},
        {"9999", 9999, nullptr},
        {" 12", 12, nullptr},
        {"12 ", 12, nullptr},
        {"+7", 7, nullptr},
        {"４００", 400, nullptr},          // full-width digits, as an input method types them
        {"　７　", 7, nullptr},            // ideographic blanks around
        {"＋９", 9, nullptr},
        {"0", 0, "入力層のﾆｭｰﾛﾝ数 '0' は 1 から 9999 までの整数で指定してください"},
        {"-3", 0, "入力層のﾆｭｰﾛﾝ数 '-3' は 1 から 9999 までの整数で指定してください"},
        {"－３", 0, "入力層のﾆｭｰﾛﾝ数 '－３' は 1 から 9999 までの整数で指定してください"},
        {"10000", 0, "入力層のﾆｭｰﾛﾝ数 '10000' は 1 から 9999 までの整数で指定してください"},
        {"１００００", 0, "入力層のﾆｭｰﾛﾝ数 '１００００' は 1 から 9999 までの整数で指定してください"},
        {"2147483647", 0, "入力層のﾆｭｰﾛﾝ数 '2147483647' は 1 から 9999 までの整数で指定してください"},
        {"x", 0, "'x' は整数ではありません"},
        {"", 0, "'' は整数ではありません"},
        {"　", 0, "'　' は整数ではありません"},
        {"7.5", 0, "'7.5' は整数ではありません"},
        {"７．５", 0, "'７．５' は整数ではありません"},
        {"1 2", 0, "'1 2' は整数ではありません"},
        {"٣", 0, "'٣' は整数ではありません"},          // a digit of another script stays refused
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        if (c.Size > 0) {
            EXPECT_EQ(LayerSizeFromText(QString::fromUtf8(c.Text), "入力層"), c.Size);
            continue;
        }
        try {
            LayerSizeFromText(QString::fromUtf8(c.Text), "入力層");
            ADD_FAILURE() << "accepted";
        } catch (const EBrelvanError& e) {
            EXPECT_EQ(e.Message(), QString::fromUtf8(c.Message));
        }
    }
}

TEST_F(MainWindow, StopsOnABadLayerSizeRunsOnceAndRetriesWhenReentered)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'x'", "'2'")});
    // The message box hands the activation back while the start-up still runs.
    OnMessage = [this](const QString&) { Activate(); };
    TBrelvanF& w = *OpenWindow();
    EXPECT_EQ(messages, QStringList({"'x' は整数ではありません"}));
    EXPECT_FALSE(w.Started());
    EXPECT_EQ(w.Ann, nullptr);
    EXPECT_EQ(w.a01P->Caption(), "a01P");
    EXPECT_EQ(w.pc->ActivePage(), w.cts);
    EXPECT_EQ(w.a03Cht->SeriesCount(), 0);

    // Closing the box activates the window again: no second attempt, no loop.
    OnMessage = nullptr;
    Activate();
    EXPECT_EQ(messages.size(), 1);

    // The commands refuse to touch the missing network.
    messages.clear();
    for (QPushButton* command : {w.a04RdB, w.a05Yo1B, w.a06Yo2B}) {
        w.pc->SetActivePage(w.ats);
        command->click();
    }
    EXPECT_EQ(messages, QStringList({kNotStarted, kNotStarted, kNotStarted}));
    EXPECT_EQ(w.a02mM->Lines(), QStringList());

    // The user corrects the input size and registers it; re-entering the
    // window runs the start-up again, which now completes.
    messages.clear();
    w.pc->SetActivePage(w.cts);
    w.c17lyipnE->setText("5");
    w.c24rgB->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const int memoryTables = dm->CsqM().tables().size();
    Reenter();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    ASSERT_TRUE(w.Started());
    EXPECT_EQ(w.Layers, std::vector<std::int32_t>({5, 7, 3, 2}));
    EXPECT_EQ(w.c11cntL->text(), "2");
    EXPECT_EQ(w.a03Cht->SeriesCount(), 3);
    EXPECT_EQ(w.pc->ActivePage(), w.ats);
    EXPECT_EQ(w.a01P->Caption(), kHint);
    EXPECT_EQ(dm->CsqM().tables().size(), memoryTables);
    QSqlQuery count(dm->CsqM());
    ASSERT_TRUE(count.exec("select count(*) from AAATBN"));
    ASSERT_TRUE(count.next());
    EXPECT_EQ(count.value(0).toInt(), FileValue("select count(*) from AAATBN").toInt());
}

TEST_F(MainWindow, RefusesOutOfRangeLayerSizesFromTheRegister)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'7'", "'10000'")});
    TBrelvanF& w = *OpenWindow();
    EXPECT_EQ(messages, QStringList({"出力層のﾆｭｰﾛﾝ数 '10000' は 1 から 9999 までの整数で指定してください"}));
    EXPECT_FALSE(w.Started());
    EXPECT_EQ(w.Ann, nullptr);
}

// Whatever the four characters of a layer size's column hold as a size (and
// an input method's full-width digits), the start-up builds the network.
TEST_F(MainWindow, StartsUpFromAnyLayerSizeItsColumnHolds)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'１２'", "'9999'")});
    TBrelvanF& w = *OpenWindow();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    ASSERT_TRUE(w.Started());
    EXPECT_EQ(w.Layers, std::vector<std::int32_t>({12, 7, 3, 9999}));
    EXPECT_EQ(w.Ann->NeuronCountInLayers(), w.Layers);
}

// A second copy of the program finds the database held: it says so once,
// out of the first copy's way, and closes; the first goes on.
TEST_F(MainWindow, ASecondCopyOnAHeldDatabaseSaysSoOnceAndCloses)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'7'", "'2'")});
    TBrelvanF& first = *OpenWindow();
    ASSERT_TRUE(first.Started());
    Tdm* firstModule = dm;
    const auto fileHash = [this] {
        QFile file(folder.filePath("SQDB.DB"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    };
    const QByteArray before = fileHash();

    auto secondModule = std::make_unique<Tdm>();
    auto second = std::make_unique<TBrelvanF>();
    dm = secondModule.get();
    bool shownDuringTheMessage = true;
    OnMessage = [&](const QString&) { shownDuringTheMessage = second->isVisible(); };
    second->show();
    second->activateWindow();
    QCoreApplication::processEvents();
    OnMessage = nullptr;
    EXPECT_EQ(messages, QStringList{QStringLiteral("データベース %1 は他のプログラムが使用中です")
                                        .arg(QDir::toNativeSeparators(DbPath()))});
    EXPECT_FALSE(shownDuringTheMessage) << "the empty window stays over the first copy";
    EXPECT_FALSE(second->isVisible());
    EXPECT_FALSE(second->Started());
    EXPECT_EQ(second->Ann, nullptr);
    EXPECT_FALSE(dm->qc.Active());

    // No activation brings the message back, not even once the first copy has ended.
    QEvent leave(QEvent::WindowDeactivate), enter(QEvent::WindowActivate);
    QCoreApplication::sendEvent(second.get(), &leave);
    QCoreApplication::sendEvent(second.get(), &enter);
    dm = firstModule;
    EXPECT_TRUE(first.Started());
    CloseWindow();
    dm = secondModule.get();
    QCoreApplication::sendEvent(second.get(), &leave);
    QCoreApplication::sendEvent(second.get(), &enter);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_FALSE(second->Started());
    EXPECT_EQ(fileHash(), before);
    second.reset();
    dm = nullptr;
}

// ---- Texts whole at the default size ------------------------------------------------

namespace {

// The width an edit gives its text: its contents less QLineEdit's own margin
// of 2 pixels on each side, and a pixel for the cursor at the end.
int TextRoom(const QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 4 - 1;
}

}  // namespace

TEST_F(MainWindow, ShowsItsTextsWholeAtTheDefaultSize)
{
    CreateDatabase();
    ExecOnFile({RegisterRow(1, "'7'", "'2'")});
    TBrelvanF& w = *OpenWindow();
    ASSERT_TRUE(w.Started());
    w.pc->SetActivePage(w.cts);
    QCoreApplication::processEvents();

    // The widest text each edit of numbers is to show.
    const std::pair<QLineEdit*, const char*> edits[] = {
        {w.c14dnE, "200000"},    {w.c15lnnE, "99999999"}, {w.c25vldnE, "99999999"}, {w.c26rsdE, "-2147483648"},
        {w.c17lyipnE, "9999"},   {w.c20lyopnE, "9999"},   {w.c12dtE, "2026/12/10 03:31"}, {w.c22mseE, "0.000112763"},
    };
    for (const auto& [edit, text] : edits)
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(QString::fromLatin1(text)), TextRoom(edit))
            << edit->objectName().toStdString();

    // The close button's glyph and caption inside its border.
    EXPECT_GE(w.z02clbB->width(), w.z02clbB->sizeHint().width());
    EXPECT_EQ(w.z02clbB->pos(), QPoint(736, 8));
    EXPECT_EQ(w.z02clbB->height(), 25);
    EXPECT_TRUE(w.z01P->rect().contains(w.z02clbB->geometry()));

    // Every title of the register grid whole, and the columns up to
    // 平均二乗誤差 within the grid while its runs need no scroll bar.
    QHeaderView* header = w.cdg->horizontalHeader();
    int mse = -1;
    for (int n = 0; !w.cdg->VisibleField(n).isEmpty(); ++n) {
        const int section = header->logicalIndex(n);
        EXPECT_GE(header->sectionSize(section), header->sectionSizeHint(section)) << w.cdg->VisibleField(n).toStdString();
        if (w.cdg->VisibleField(n) == "MSE")
            mse = section;
    }
    ASSERT_GE(mse, 0);
    EXPECT_EQ(w.cdg->VisibleTitle(header->visualIndex(mse)), "平均二乗誤差");
    EXPECT_LE(header->sectionViewportPosition(mse) + header->sectionSize(mse), w.cdg->viewport()->width());

    // Six-digit row numbers whole in the price grid: the text, its cell's
    // margins and the grid line.
    const QSqlRecord record = dm->qb.record();
    const int cnt = record.indexOf("CNT");
    EXPECT_GE(w.bDG->columnWidth(cnt), w.bDG->fontMetrics().horizontalAdvance("200000") + 7);
}
