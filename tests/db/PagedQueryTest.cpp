// A paged query reads what an unpaged one reads: the same rows in the same
// order through the cursor, the model and the records, across page edges.
#include "DbFixture.h"

#include "base/Errors.h"

#include <QSqlRecord>

namespace {

struct PagedCase {
    const char* name;
    int rows;
};

class PagedQueryTest : public DbFixture, public ::testing::WithParamInterface<PagedCase> {};

// Everything a reader of the query sees, as text.
QStringList Seen(TQuery& query)
{
    QStringList seen;
    seen << QString::number(query.RecordCount()) << QString::number(query.columnCount())
         << query.headerData(1, Qt::Horizontal).toString();
    for (query.First(); !query.Eof(); query.Next())
        seen << QString::number(query.RecNo()) + QLatin1Char(':') + query.FieldText(QStringLiteral("A"))
                    + QLatin1Char(',') + query.FieldText(QStringLiteral("b"));
    const int n = query.rowCount();
    for (int row : {0, 255, 256, 257, n / 2, n - 1}) {
        if (row < 0 || row >= n)
            continue;
        seen << query.data(query.index(row, 1)).toString() + QLatin1Char('/')
                    + query.record(row).value(QStringLiteral("a")).toString();
    }
    query.Last();
    seen << QString::number(query.RecNo()) << QString::number(query.Eof()) << query.FieldText(QStringLiteral("a"));
    return seen;
}

TEST_P(PagedQueryTest, ReadsWhatTheWholeResultReads)
{
    const QSqlDatabase db = dm->CsqM();
    Exec(db, QStringLiteral("create table T (a Integer, b varchar(10))"));
    Exec(db, QStringLiteral("begin"));
    for (int i = 0; i < GetParam().rows; ++i)   // inserted out of key order; every seventh text NULL
        Exec(db, QStringLiteral("insert into T values (%1, %2)")
                     .arg((i * 37) % 1009)
                     .arg(i % 7 == 0 ? QStringLiteral("NULL") : QStringLiteral("'r%1'").arg(i)));
    Exec(db, QStringLiteral("commit"));

    const QString sql = QStringLiteral(" select a, b from T");
    TQuery whole(sql), paged(sql);
    whole.SetConnection(dm->csqM);
    paged.SetConnection(dm->csqM);
    paged.SetPaged(true);
    whole.Open();
    paged.Open();
    EXPECT_TRUE(paged.Active());
    EXPECT_EQ(Seen(paged), Seen(whole));

    paged.Close();
    EXPECT_FALSE(paged.Active());
    EXPECT_EQ(paged.rowCount(), 0);
    EXPECT_EQ(paged.columnCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PagedQueryTest,
                         ::testing::Values(PagedCase{"Empty", 0}, PagedCase{"One", 1}, PagedCase{"OnePage", 256},
                                           PagedCase{"PageAndOne", 257}, PagedCase{"ManyPages", 2600}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbFixture, PagedQueryRejectsWhatTheDatabaseRejects)
{
    const QString sql = QStringLiteral(" select NOSUCH from sqlite_master");
    TQuery whole(sql), paged(sql);
    whole.SetConnection(dm->csqM);
    paged.SetConnection(dm->csqM);
    paged.SetPaged(true);
    QString wholeMessage, pagedMessage;
    try { whole.Open(); } catch (const EDatabaseError& e) { wholeMessage = e.Message(); }
    try { paged.Open(); } catch (const EDatabaseError& e) { pagedMessage = e.Message(); }
    EXPECT_FALSE(wholeMessage.isEmpty());
    EXPECT_EQ(pagedMessage, wholeMessage);
    EXPECT_FALSE(paged.Active());
}

}  // namespace
