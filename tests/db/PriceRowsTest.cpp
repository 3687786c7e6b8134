// Reading the in-memory price table back: every row in CNT order whatever
// order the rows were written in, the columns asked for in that order, NULL
// as a null value, and clear errors for a name or a table that cannot be read.
#include "DbFixture.h"

#include "base/Errors.h"
#include "db/PriceTable.h"

#include <gtest/gtest.h>

namespace {

class PriceRowsTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        form->uqCdb();
        messages.clear();
        for (const char* row : {"(3, '2020/04/20', '1,300.25', 1300.5)", "(1, '2020/04/16', '1,100.00', NULL)",
                                "(2, '2020/04/17', '1,200.75', 1201.25)"})
            Exec(dm->CsqM(), QStringLiteral("insert into AYNK (CNT, DATE, CLOSE, YCL1) values ") + QLatin1String(row));
    }

    static QStringList Read(TPriceRows& rows)
    {
        QStringList lines;
        while (rows.Next()) {
            QStringList values;
            for (int c = 0; c < rows.Columns().size(); ++c)
                values << (rows.Value(c).isNull() ? QStringLiteral("NULL") : rows.Value(c).toString());
            lines << values.join(QLatin1Char('|'));
        }
        return lines;
    }
};

TEST_F(PriceRowsTest, NamedColumnsInTheirOrderRowsInCntOrder)
{
    TPriceRows rows({"DATE", "YCL1", "CLOSE", "CNT"});
    EXPECT_EQ(rows.Columns(), QStringList({"DATE", "YCL1", "CLOSE", "CNT"}));
    EXPECT_EQ(Read(rows), QStringList({"2020/04/16|NULL|1,100.00|1", "2020/04/17|1201.25|1,200.75|2",
                                       "2020/04/20|1300.5|1,300.25|3"}));
}

TEST_F(PriceRowsTest, NoNamesReadEveryColumnOfTheTable)
{
    TPriceRows rows;
    EXPECT_EQ(rows.Columns(), QStringList({"CNT", "DATE", "TIME", "CLOSE", "HG", "LG", "OPEN", "YCL1", "YCL2", "YCL3",
                                           "YCL4", "YCL5", "YCL6", "TYO"}));
    EXPECT_EQ(Read(rows).value(0), "1|2020/04/16|NULL|1,100.00|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL");
}

TEST_F(PriceRowsTest, NamesThatAreNotPlainOrNotThereAreRefused)
{
    try {
        TPriceRows rows({"CNT", "1; drop table AYNK"});
        ADD_FAILURE() << "accepted";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "価格テーブルの列名 '1; drop table AYNK' は使えません");
    }
    try {
        TPriceRows rows({"NOPE"});
        ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "価格テーブルを読めません: SQL 文を実行できません (no such column: NOPE)");
    }
    EXPECT_EQ(Count(dm->CsqM(), "AYNK"), 3);
}

}  // namespace
