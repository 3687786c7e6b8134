// The price table's CSV export: each value's text, the CSV quoting, and the
// whole file "CSV出力" writes for an imported and predicted table.
#include "support/ControllerFixture.h"
#include "support/PriceStandIn.h"

#include "prices/PriceExport.h"
#include "prices/PriceFile.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(PriceExportTest, CellsAsTheExportWritesThem)
{
    const struct {
        QVariant Value;
        TCellKind Kind;
        const char* Want;
    } cases[] = {
        {QVariant(), TCellKind::Price, ""},
        {QVariant(2960.8), TCellKind::Price, "2960.80"},
        {QVariant(23456.78), TCellKind::Price, "23456.78"},      // every digit, where the grid shows 23456.8
        {QVariant(-0.001), TCellKind::Price, "0.00"},
        {QVariant(qlonglong(2874)), TCellKind::Price, "2874.00"},
        {QVariant("2,874.56"), TCellKind::Price, "2874.56"},
        {QVariant("-12,345,678.5"), TCellKind::Price, "-12345678.5"},
        {QVariant("1455.22"), TCellKind::Price, "1455.22"},
        {QVariant("12,34"), TCellKind::Price, "12,34"},            // not a grouped number: kept as written
        {QVariant("2020/04/17"), TCellKind::Text, "2020/04/17"},
        {QVariant(qlonglong(5105)), TCellKind::Text, "5105"},
        {QVariant("1,000"), TCellKind::Text, "1,000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExportCell(c.Value, c.Kind), QString::fromUtf8(c.Want)) << c.Value.toString().toStdString();
}

TEST(PriceExportTest, FieldsQuotedWhereCsvNeedsIt)
{
    EXPECT_EQ(CsvField("予測1"), "予測1");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("cr\r"), "\"cr\r\"");
    EXPECT_EQ(CsvLine({"日付", "", "a,b"}), QByteArray("\xE6\x97\xA5\xE4\xBB\x98,,\"a,b\"\r\n"));
    EXPECT_EQ(Utf8Bom(), QByteArray("\xEF\xBB\xBF"));
}

class PriceExportFileTest : public ControllerFixture<TPriceStandIn> {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        Create().StartUp();
        QFile file(QString::fromLatin1(kPriceFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("date,close,open,high,low\r\n");
        for (int i = 1; i <= 40; ++i)
            file.write(QStringLiteral("%1,\"1,%2.50\",\"1,000.00\",\"1,100.00\",900.25\r\n")
                           .arg(QDate(2020, 4, 17).addDays(i - 40).toString("yyyy/MM/dd"))
                           .arg(100 + i * 7)
                           .toLatin1());
        file.write("end\r\n");
        file.close();
        form->y02rdDat();
        form->y04Yosok();
        messages.clear();
    }
};

TEST_F(PriceExportFileTest, WritesTheGridsColumnsUnderTheirTitles)
{
    form->y09csvOut("prices.csv");
    EXPECT_EQ(form->Log.back(), "CSV出力: prices.csv (48行)");
    QFile file(PathOf("prices.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith(Utf8Bom()));
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
    ASSERT_EQ(lines.size(), 1 + 48 + 1);   // the heading, 40 rows and 8 future rows, nothing after the last CR LF
    EXPECT_EQ(lines[0], "日付,終値,予測1,予測2,始値,高値,安値,予測3,予測4,予測5,予測6,摘要,CNT,時間");
    EXPECT_EQ(lines[1], "2020/03/09,1107.50,,,1000.00,1100.00,900.25,,,,,,1,");
    // Row 40, the last day, has both predictions; row 41 (the next day) the second.
    const QStringList last = lines[40].split(',');
    ASSERT_EQ(last.size(), 14);
    EXPECT_EQ(last[0], "2020/04/17");
    EXPECT_EQ(last[1], "1380.50");
    EXPECT_EQ(last[12], "40");
    const QRegularExpression price("^\\d+\\.\\d\\d$");
    EXPECT_TRUE(price.match(last[2]).hasMatch()) << last[2].toStdString();
    EXPECT_TRUE(price.match(last[3]).hasMatch()) << last[3].toStdString();
    const QStringList future = lines[41].split(',');
    EXPECT_EQ(future[0], "2020/04/18");
    EXPECT_EQ(future[2], "");
    EXPECT_TRUE(price.match(future[3]).hasMatch()) << future[3].toStdString();
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
