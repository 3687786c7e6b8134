// Faults of the catalogue files, on the real window in a temporary folder:
// missing or damaged tbl.csv / tblstrc.csv when the database needs its
// catalogue built.  The user is told, the window can be closed, and the runs
// registered in the file are all still there.
#include "../app/WindowFixture.h"
#include "HardeningSupport.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <sys/stat.h>

namespace {

using namespace Hardening;

struct TCatalogueCase {
    const char* Name;
    bool ExistingRegister;                           // a database with two runs whose catalogue tables are gone
    std::function<void(const QDir&)> MakeFiles;      // writes the catalogue folder's files
    const char* Message;                             // part of a message the user sees
};

// Test names in CTest show the case, not its bytes.
void PrintTo(const TCatalogueCase& c, std::ostream* os) { *os << c.Name; }

QByteArray SourceFile(const char* name)
{
    return ReadFile(QDir(QStringLiteral(BRELVAN_DATA_DIR)).filePath(QString::fromLatin1(name)));
}

const TCatalogueCase kCatalogueCases[] = {
    {"MissingOnANewFolder", false, [](const QDir&) {}, "テーブル構造ファイル tbl.csv, tblstrc.csv をフォルダ "},
    {"MissingUnderARegister", true, [](const QDir&) {}, "テーブル構造ファイル tbl.csv, tblstrc.csv をフォルダ "},
    {"OneMissing", true,
     [](const QDir& d) { WriteFile(d.filePath("tbl.csv"), SourceFile("tbl.csv")); },
     "テーブル構造ファイル tblstrc.csv をフォルダ "},
    {"TableListIsNoise", true,
     [](const QDir& d) {
         QByteArray noise;
         for (int i = 0; i < 512; ++i)
             noise += char((i * 73 + 11) % 256);
         WriteFile(d.filePath("tbl.csv"), noise);
         WriteFile(d.filePath("tblstrc.csv"), SourceFile("tblstrc.csv"));
     },
     "ﾃｰﾌﾞﾙ名が見つかりません"},
    {"TableListIsAFifo", true,
     [](const QDir& d) {
         ::mkfifo(QFile::encodeName(d.filePath("tbl.csv")).constData(), 0600);
         WriteFile(d.filePath("tblstrc.csv"), SourceFile("tblstrc.csv"));
     },
     "tbl.csv は通常のファイルではなく名前付きパイプ (FIFO) です"},
    {"ColumnListIsADirectory", true,
     [](const QDir& d) {
         WriteFile(d.filePath("tbl.csv"), SourceFile("tbl.csv"));
         d.mkdir("tblstrc.csv");
     },
     "tblstrc.csv は通常のファイルではなくディレクトリです"},
    {"ColumnListTruncated", true,
     [](const QDir& d) {
         WriteFile(d.filePath("tbl.csv"), SourceFile("tbl.csv"));
         const QByteArray columns = SourceFile("tblstrc.csv");
         WriteFile(d.filePath("tblstrc.csv"), columns.left(columns.size() / 3));
     },
     "ﾃｰﾌﾞﾙ"},
};

class CatalogueFaultTest : public WindowFixture, public ::testing::WithParamInterface<TCatalogueCase> {
protected:
    void TearDown() override
    {
        WindowFixture::TearDown();
        SetCatalogueDirectory(fPreviousCatalogue);
    }
    QString fPreviousCatalogue;
};

TEST_P(CatalogueFaultTest, TellsTheUserAndKeepsTheRegister)
{
    const TCatalogueCase& c = GetParam();
    const QString database = folder.filePath(kDatabase);
    if (c.ExistingRegister) {
        CreateDatabase();
        ExecOnFile({RegisterRow(1, "'7'", "'2'", "'it''s'"), RegisterRow(2, "'7'", "'2'"),
                    "drop table AAATBN", "drop table AAATST"});
    }
    const QStringList rowsBefore = RegisterRows(database);
    ASSERT_EQ(rowsBefore.size(), c.ExistingRegister ? 2 : 0);

    QTemporaryDir catalogue;
    ASSERT_TRUE(catalogue.isValid());
    c.MakeFiles(QDir(catalogue.path()));
    fPreviousCatalogue = SetCatalogueDirectory(catalogue.path());

    OpenWindow();
    const QString expected = QString::fromUtf8(c.Message);
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const QString& m) { return m.contains(expected); }))
        << messages.join('\n').toStdString();
    // The commands do not touch what start-up could not build.
    messages.clear();
    form->a04RdB->click();
    form->a05Yo1B->click();
    CloseWindow();

    EXPECT_EQ(RegisterRows(database), rowsBefore);
    if (QFile::exists(database)) {
        EXPECT_EQ(IntegrityCheck(database), QStringLiteral("ok"));
    }
    if (!c.ExistingRegister && QFile::exists(database)) {   // nothing half-created
        EXPECT_EQ(Sqlite3Lines(database, QStringLiteral("select count(*) from sqlite_master")),
                  QStringList{QStringLiteral("0")});
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CatalogueFaultTest, ::testing::ValuesIn(kCatalogueCases),
                         [](const ::testing::TestParamInfo<TCatalogueCase>& info) { return info.param.Name; });

}  // namespace
