// The grid bound to a query, and the styles the program carries.
#include "app/BrelvanU.h"
#include "app/Controls.h"
#include "app/Dialogs.h"
#include "app/Styles.h"
#include "db/Data.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QMessageBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <gtest/gtest.h>
#include <QTabBar>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <limits>

namespace {

const QString kConnection = QStringLiteral("controls_test");

// A query over a small in-memory table whose fields come in another order
// than the grid's columns, with one field the grid does not show.
class Grid : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
        db.setDatabaseName(QStringLiteral(":memory:"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("create table T (CNT Integer, DATE varchar(10), EXTRA varchar(4), CLOSE varchar(12),"
                           " YCL1 Real)"));
        for (int i = 1; i <= 30; ++i)
            ASSERT_TRUE(q.exec(QString("insert into T values (%1, '2024/01/%2', 'x', '%3', %4)")
                                   .arg(i).arg(i, 2, 10, QChar('0')).arg(100 + i).arg(12345.5 * i)));
        Query.SetConnection(kConnection);
        Query.SetSQL("select * from T");
        Query.Open();
        Source.DataSet = &Query;
        Table.SetColumns({{"DATE", "日付"}, {"CLOSE", "終値"}, {"MISSING", "無い"}, {"CNT", ""}});
        Table.setFont(WindowFont());
        Table.horizontalHeader()->setFont(WindowFont());
        Table.resize(600, 300);
        Table.SetDataSource(&Source);
    }
    void TearDown() override
    {
        Table.SetDataSource(nullptr);
        Query.Close();
        QSqlDatabase::database(kConnection, false).close();
        QSqlDatabase::removeDatabase(kConnection);
    }
    TQuery Query{"select * from T"};
    TDataSource Source;
    TDBGrid Table;
};

}  // namespace

TEST_F(Grid, ShowsItsColumnsByFieldNameWithCentredTitles)
{
    QStringList fields, titles;
    for (int n = 0; n < 4; ++n) {
        fields << Table.VisibleField(n);
        titles << Table.VisibleTitle(n);
    }
    EXPECT_EQ(fields, QStringList({"DATE", "CLOSE", "CNT", ""}));
    EXPECT_EQ(titles.mid(0, 3), QStringList({"日付", "終値", "CNT"}));
    EXPECT_TRUE(Table.isColumnHidden(Query.record().indexOf("EXTRA")));
    EXPECT_EQ(Table.horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    EXPECT_EQ(Table.horizontalHeader()->font().pixelSize(), 23);

    // A column shows as many characters as its display width (or its least
    // count) whole, and its title whole: never narrower than the delegate
    // and the header ask for, and no wider than a character more.
    const QAbstractItemView& view = Table;
    const auto fitsWhole = [&](int n, const QString& widest) {
        const int section = Table.horizontalHeader()->logicalIndex(n);
        const int needed = std::max(view.sizeHintForColumn(section), Table.horizontalHeader()->sectionSizeHint(section));
        EXPECT_GE(Table.VisibleWidth(n), needed) << Table.VisibleField(n).toStdString();
        if (!widest.isEmpty()) {   // the text, its margins and the grid line
            EXPECT_GE(Table.VisibleWidth(n) - QFontMetrics(Table.font()).horizontalAdvance(widest), 7);
        }
        EXPECT_LE(Table.VisibleWidth(n), needed + QFontMetrics(Table.font()).horizontalAdvance('0'))
            << Table.VisibleField(n).toStdString();
    };
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), 10);   // "2024/01/30"
    Query.SetDisplayWidth(Query.record().indexOf("CLOSE"), 1);   // the title is wider
    fitsWhole(0, "2024/01/30");
    fitsWhole(1, QString());
    Table.SetColumns({{"DATE", "日付"}, {"CNT", "", TDBGrid::TFormat::Number, 7}});
    Query.SetDisplayWidth(Query.record().indexOf("CNT"), 2);
    EXPECT_GE(Table.VisibleWidth(1) - QFontMetrics(Table.font()).horizontalAdvance("9999999"), 7);

    // A stored width of any size is clamped before it becomes pixels (the
    // sanitizer build stops on an overflow); none gives eight characters.
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), std::numeric_limits<int>::max());
    EXPECT_EQ(Table.VisibleWidth(0), int(std::ceil(TDBGrid::MaxDisplayChars * QFontMetricsF(Table.font()).horizontalAdvance('0'))) + 7);
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), std::numeric_limits<int>::min());
    EXPECT_GE(Table.VisibleWidth(0) - QFontMetrics(Table.font()).horizontalAdvance("00000000"), 7);
}

// Prices read "#,##0.00" whatever is stored (a number, or a price text as
// the file writes it), right-aligned as numbers are; other texts stay.
TEST_F(Grid, ShowsPricesWithThousandsSeparatorsRightAligned)
{
    QSqlQuery q(QSqlDatabase::database(kConnection));
    ASSERT_TRUE(q.exec("update T set CLOSE = '2,749.98', YCL1 = 1399.125 where CNT = 1"));
    ASSERT_TRUE(q.exec("update T set CLOSE = 'n/a', YCL1 = NULL where CNT = 2"));
    ASSERT_TRUE(q.exec("update T set CLOSE = '1455.219971', YCL1 = 8046 where CNT = 3"));
    Query.Open();
    Table.SetColumns({{"DATE", "日付"}, {"CLOSE", "終値", TDBGrid::TFormat::Price},
                      {"YCL1", "予測1", TDBGrid::TFormat::Price}, {"CNT", "", TDBGrid::TFormat::Number}});
    const QStringList shown = {Table.CellText(0, "CLOSE"), Table.CellText(0, "YCL1"), Table.CellText(1, "CLOSE"),
                               Table.CellText(1, "YCL1"),  Table.CellText(2, "CLOSE"), Table.CellText(2, "YCL1"),
                               Table.CellText(29, "YCL1"), Table.CellText(29, "DATE"), Table.CellText(29, "CNT")};
    EXPECT_EQ(shown, QStringList({"2,749.98", "1,399.13", "n/a", "", "1,455.22", "8,046.00", "370,365.00",
                                  "2024/01/30", "30"}));
    const auto alignment = [&](const char* field) {
        return Table.model()->index(0, Query.record().indexOf(field)).data(Qt::TextAlignmentRole).toInt();
    };
    EXPECT_EQ(alignment("CLOSE"), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(alignment("CNT"), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(alignment("DATE"), 0);
    // What is stored is not changed.
    EXPECT_EQ(Query.data(Query.index(0, Query.record().indexOf("CLOSE"))).toString(), "2,749.98");
}

TEST_F(Grid, ShowsNumbersWithAPointAndNoThousandsSeparator)
{
    Table.SetColumns({{"CNT", ""}, {"YCL1", "予測1"}});
    EXPECT_EQ(Table.CellText(0, "YCL1").toStdString(), "12345.5");
    EXPECT_EQ(Table.CellText(1, "YCL1").toStdString(), "24691");
    EXPECT_EQ(Table.CellText(29, "CNT").toStdString(), "30");
}

TEST_F(Grid, FollowsTheQuerysCurrentRow)
{
    EXPECT_EQ(Table.CurrentRecord(), 0);
    Query.Last();
    EXPECT_EQ(Table.CurrentRecord(), 29);
    Query.First();
    Query.Next();
    EXPECT_EQ(Table.CurrentRecord(), 1);
    // Reopened: the layout stays, the cursor is on the first row again.
    Query.Open();
    EXPECT_EQ(Table.VisibleField(0), "DATE");
    EXPECT_TRUE(Table.isColumnHidden(Query.record().indexOf("EXTRA")));
    EXPECT_EQ(Table.CurrentRecord(), 0);
}

TEST(Styles, SelectsTheCarriedStylesByNameAndReportsAnUnknownOne)
{
    EXPECT_EQ(StyleNames(), QStringList({"Windows10", "Windows10 Dark"}));
    ASSERT_TRUE(TrySetStyle("Windows10 Dark"));
    EXPECT_EQ(ActiveStyleName(), "Windows10 Dark");
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QApplication::palette().color(QPalette::WindowText).lightness(), 200);
    {
        // The tabs are as dark as the rest of the window.
        TPageControl pages;
        EXPECT_LT(pages.TabBrush().color().lightness(), 80);
    }

    QStringList messages;
    const TMessageSink previous = SetMessageSink([&](const QString& text) { messages << text; });
    EXPECT_FALSE(TrySetStyle("Windows11"));
    EXPECT_FALSE(TrySetStyle("Carbon", false));
    SetMessageSink(previous);
    EXPECT_EQ(messages, QStringList({"スタイル 'Windows11' が見つかりません"}));
    EXPECT_EQ(ActiveStyleName(), "Windows10 Dark");

    ASSERT_TRUE(TrySetStyle("Windows10"));
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 200);
}

// A message box that comes up while a command shows the wait cursor shows
// the ordinary pointer; the wait cursor is back once the box is closed.
TEST(MessageBox, TakesTheWaitCursorOffWhileItIsUp)
{
    TWaitCursor wait;
    int cursorsDuring = -1;
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        cursorsDuring = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : -1;
        shown = box->text();
        closer.stop();
        box->accept();
    });
    closer.start(10);
    ShowMessageBox("データベースエラー: データベースファイルが壊れています");
    EXPECT_EQ(shown, "データベースエラー: データベースファイルが壊れています");
    EXPECT_EQ(cursorsDuring, -1) << "a cursor was set over the box";
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

namespace {

// WCAG 2's relative luminance of a colour and the contrast ratio of two.
double Luminance(const QColor& colour)
{
    const auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

TEST(Styles, ContrastOfTheFormulaAsPublished)
{
    EXPECT_NEAR(Contrast(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(Contrast(QColor(0x80, 0x80, 0x80), QColor(0x2b, 0x2b, 0x2b)), 3.59, 0.005);   // the old disabled edit
    EXPECT_NEAR(Contrast(Qt::white, QColor(0x00, 0x78, 0xd7)), 4.50, 0.005);
    EXPECT_LT(Contrast(Qt::white, QColor(0x00, 0x78, 0xd7)), 4.5);
}

TEST(Styles, EveryTextReadsAtAContrastOfAtLeastFourAndAHalf)
{
    struct TPair {
        const char* Name;
        QPalette::ColorRole Text, Background;
    };
    const TPair pairs[] = {
        {"window text", QPalette::WindowText, QPalette::Window},
        {"text", QPalette::Text, QPalette::Base},
        {"text on alternate rows", QPalette::Text, QPalette::AlternateBase},
        {"button text", QPalette::ButtonText, QPalette::Button},
        {"selected text", QPalette::HighlightedText, QPalette::Highlight},
        {"tool tip", QPalette::ToolTipText, QPalette::ToolTipBase},
        {"placeholder", QPalette::PlaceholderText, QPalette::Base},
        {"link", QPalette::Link, QPalette::Base},
        {"visited link", QPalette::LinkVisited, QPalette::Base},
    };
    const std::pair<QPalette::ColorGroup, const char*> groups[] = {
        {QPalette::Active, "active"}, {QPalette::Inactive, "inactive"}, {QPalette::Disabled, "disabled"}};
    for (const QString& name : StyleNames()) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(TrySetStyle(name));
        const QPalette palette = QApplication::palette();
        for (const auto& [group, groupName] : groups) {
            for (const TPair& pair : pairs) {
                EXPECT_GE(Contrast(palette.color(group, pair.Text), palette.color(group, pair.Background)), 4.5)
                    << groupName << " " << pair.Name;
            }
        }
        // The tabs: the captions and the selected tab's mark on the tabs' brush.
        TPageControl pages;
        const QColor tab = pages.TabBrush().color();
        EXPECT_GE(Contrast(pages.tabBar()->palette().color(QPalette::ButtonText), tab), 4.5);
        EXPECT_GE(Contrast(SelectedTabColour(), tab), 4.5);
        EXPECT_GT(SelectedTabColour().red(), 3 * std::max(SelectedTabColour().green(), SelectedTabColour().blue()) / 2);
        // The chart's title, axis labels and titles and legend on its background.
        TChart chart;
        const QColor background = chart.chart()->backgroundBrush().color();
        for (const QBrush& text : {chart.chart()->titleBrush(), chart.LeftAxis()->labelsBrush(),
                                   chart.LeftAxis()->titleBrush(), chart.BottomAxis()->labelsBrush(),
                                   chart.BottomAxis()->titleBrush(), chart.chart()->legend()->labelBrush()})
            EXPECT_GE(Contrast(text.color(), background), 4.5);
    }
}

TEST(Styles, DrawsTheDarkTabsWithLightCaptionsAndTheSelectedOneMarked)
{
    ASSERT_TRUE(TrySetStyle("Windows10 Dark"));
    TBrelvanF window;
    window.show();
    QCoreApplication::processEvents();
    QTabBar* bar = window.pc->tabBar();
    const QImage image = bar->grab().toImage();
    const QColor caption = bar->palette().color(QPalette::ButtonText);
    for (int tab = 0; tab < bar->count(); ++tab) {
        SCOPED_TRACE(tab);
        int marked = 0, light = 0;
        const QRect r = bar->tabRect(tab);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                marked += image.pixelColor(x, y) == SelectedTabColour();
                light += image.pixelColor(x, y) == caption;
            }
        }
        if (tab == bar->currentIndex()) {
            EXPECT_GT(marked, 20);
            EXPECT_EQ(light, 0);
        } else {
            EXPECT_EQ(marked, 0);
            EXPECT_GT(light, 20);
        }
        EXPECT_EQ(image.pixelColor(r.center().x(), r.top() + 3), window.pc->TabBrush().color());
    }
}
