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
#include <QStyledItemDelegate>
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

// The grid with the text it draws in a cell: what its delegate makes of the
// value with the options the view hands it.
class TShownGrid : public TDBGrid {
public:
    QString CellText(int row, const QString& field)
    {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QModelIndex index = model()->index(row, DataSource()->DataSet->record().indexOf(field));
        const auto* delegate = qobject_cast<QStyledItemDelegate*>(itemDelegateForIndex(index));
        return delegate ? delegate->displayText(index.data(), option.locale) : QString();
    }
};

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
    TShownGrid Table;
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

    // Widths follow the display widths, never narrower than the title.
    const QFontMetrics metrics(Table.horizontalHeader()->font());
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), 10);
    Query.SetDisplayWidth(Query.record().indexOf("CLOSE"), 1);
    EXPECT_EQ(Table.VisibleWidth(0), 10 * metrics.averageCharWidth() + 4);
    EXPECT_EQ(Table.VisibleWidth(1), metrics.horizontalAdvance("終値") + 8);

    // A stored width of any size is clamped before it becomes pixels (the
    // sanitizer build stops on an overflow).
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), std::numeric_limits<int>::max());
    EXPECT_EQ(Table.VisibleWidth(0), TDBGrid::MaxDisplayChars * metrics.averageCharWidth() + 4);
    Query.SetDisplayWidth(Query.record().indexOf("DATE"), std::numeric_limits<int>::min());
    EXPECT_EQ(Table.VisibleWidth(0), std::max(metrics.horizontalAdvance("日付") + 8, 8 * metrics.averageCharWidth()));
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
