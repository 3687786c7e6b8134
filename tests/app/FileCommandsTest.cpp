// The window's buttons that keep a run's work and its chart menu, pressed as
// a user presses them with every file dialog answered by the test: where the
// buttons sit, what each dialog asks, the model file, the fresh network, the
// CSV export against the grid and the chart's picture.
#include "WindowFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QDate>

namespace {

class FileCommands : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        OpenWindow();
        ASSERT_TRUE(form->Started());
        messages.clear();
    }

    TFileAnswer Answer(const QString& name, int filter = 0) { return {PathOf(name), filter}; }

    // A price file of n days, imported, trained for 5 passes and predicted,
    // as the three buttons of the main page do it.
    void ImportTrainPredict(int n)
    {
        QFile file(PathOf("tarvok_stock_average_daily_jp.csv"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("date,close,open,high,low\r\n");
        for (int i = 1; i <= n; ++i)
            file.write(QStringLiteral("%1,\"1,%2.25\",\"1,000.00\",\"1,100.50\",900\r\n")
                           .arg(QDate(2020, 4, 17).addDays(i - n).toString("yyyy/MM/dd"))
                           .arg(100 + (i * 37) % 300)
                           .toLatin1());
        file.write("end\r\n");
        file.close();
        form->c15lnnE->setText("5");
        for (QPushButton* command : {form->a04RdB, form->a05Yo1B, form->a06Yo2B}) {
            command->click();
            form->WaitForCommand();
        }
        messages.clear();
    }

    QStringList LogSince(int lines) const { return form->a02mM->Lines().mid(lines); }
};

TEST_F(FileCommands, ButtonsSitInTheBarsThatWereEmpty)
{
    TBrelvanF& w = *form;
    const struct {
        QPushButton* Button;
        QWidget* Bar;
        QRect Place;
        const char* Caption;
    } buttons[] = {
        {w.b02csvB, w.b01P, {16, 8, 120, 25}, "CSV出力"},
        {w.c25msvB, w.c02bpP, {24, 8, 140, 25}, "モデル保存"},
        {w.c26mldB, w.c02bpP, {172, 8, 140, 25}, "モデル読込"},
        {w.c27iniB, w.c02bpP, {320, 8, 140, 25}, "学習初期化"},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.Caption);
        EXPECT_EQ(b.Button->parentWidget(), b.Bar);
        EXPECT_EQ(b.Button->geometry(), b.Place);
        EXPECT_EQ(b.Button->text(), QString::fromUtf8(b.Caption));
        EXPECT_LE(b.Button->fontMetrics().horizontalAdvance(b.Button->text()) + 8, b.Place.width());
        EXPECT_TRUE(b.Bar->rect().contains(b.Button->geometry()));
    }
    // The data page's caption, centred in its bar, stays clear of the button.
    w.pc->SetActivePage(w.bts);
    QCoreApplication::processEvents();
    w.b01P->SetCaption("時間間隔: 日");
    const QLabel* caption = w.b01P->findChild<QLabel*>();
    ASSERT_NE(caption, nullptr);
    const int textLeft = caption->geometry().center().x() - caption->fontMetrics().horizontalAdvance(caption->text()) / 2;
    EXPECT_GT(textLeft, w.b02csvB->geometry().right() + 100);

    // After the register button in the keyboard's order.
    QList<QWidget*> chain;
    for (QWidget* next = w.c24rgB; chain.size() < 4; next = next->nextInFocusChain())
        if (qobject_cast<QPushButton*>(next))
            chain << next;
    EXPECT_EQ(chain, (QList<QWidget*>{w.c24rgB, w.c25msvB, w.c26mldB, w.c27iniB}));
}

TEST_F(FileCommands, SavesAndLoadsTheModelThroughTheDialogs)
{
    TBrelvanF& w = *form;
    w.c24rgB->click();   // run 1: the suggested name follows it
    const QByteArray trained = [&] {
        w.Ann->Train(std::vector<float>(7, 0.5f), {0.25f, 0.75f});
        w.Ann->SaveToFile(PathOf("probe.bin").toStdString());
        QFile probe(PathOf("probe.bin"));
        return probe.open(QIODevice::ReadOnly) ? probe.readAll() : QByteArray();
    }();
    const int log = w.a02mM->Lines().size();

    fileAnswers = {Answer("model_0001.bin")};
    w.c25msvB->click();
    ASSERT_EQ(fileRequests.size(), 1u);
    EXPECT_EQ(fileRequests[0].Mode, TFileRequest::TMode::Save);
    EXPECT_EQ(fileRequests[0].Caption, "モデル保存");
    EXPECT_EQ(QDir(fileRequests[0].Folder), QDir(folder.path()));
    EXPECT_EQ(fileRequests[0].SuggestedName, "model_0001.bin");
    EXPECT_EQ(fileRequests[0].Filters, QStringList{"モデルファイル (*.bin)"});
    QFile saved(PathOf("model_0001.bin"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), trained);

    // A network of another shape: the settings page follows it.
    TRavoAnn({9, 7, 3, 3}, 0.005f, TRavoActivationFunc::Sigmoid).SaveToFile(PathOf("wide.bin").toStdString());
    fileAnswers = {Answer("wide.bin")};
    w.c26mldB->click();
    EXPECT_EQ(fileRequests[1].Mode, TFileRequest::TMode::Open);
    EXPECT_EQ(fileRequests[1].Filters, QStringList({"モデルファイル (*.bin)", "すべてのファイル (*)"}));
    EXPECT_EQ(messages, QStringList{"モデルの層構成 [9,7,3,3] に合わせて、入力層・中間層1・中間層2・出力層の設定を変更しました"});
    EXPECT_EQ(QStringList({w.c17lyipnE->text(), w.c18lym1nE->text(), w.c19lym2nE->text(), w.c20lyopnE->text()}),
              QStringList({"9", "7", "3", "3"}));
    EXPECT_EQ(w.Layers, (std::vector<std::int32_t>{9, 7, 3, 3}));
    EXPECT_EQ(LogSince(log), QStringList({"モデル保存: " + PathOf("model_0001.bin"),
                                          "モデル読込: " + PathOf("wide.bin") + " ([9,7,3,3])"}));

    // Cancelled dialogs do nothing.
    messages.clear();
    fileAnswers = {TFileAnswer(), TFileAnswer(), TFileAnswer()};
    w.c25msvB->click();
    w.c26mldB->click();
    w.b02csvB->click();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(LogSince(log).size(), 2);
    EXPECT_EQ(w.Layers, (std::vector<std::int32_t>{9, 7, 3, 3}));
}

TEST_F(FileCommands, ARefusedModelFileIsReportedAndChangesNothing)
{
    TBrelvanF& w = *form;
    QFile junk(PathOf("junk.bin"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a model");
    junk.close();
    const TRavoAnn* network = w.Ann.get();
    const int log = w.a02mM->Lines().size();
    fileAnswers = {Answer("junk.bin")};
    w.c26mldB->click();
    EXPECT_EQ(messages, QStringList{"モデルファイル " + PathOf("junk.bin") + " を読み込めません: モデルファイルが短すぎます"});
    EXPECT_EQ(w.Ann.get(), network);
    EXPECT_EQ(w.c17lyipnE->text(), "7");
    EXPECT_EQ(LogSince(log), QStringList());
}

TEST_F(FileCommands, InitialisingStartsAfreshFromThePage)
{
    TBrelvanF& w = *form;
    ImportTrainPredict(40);
    ASSERT_GT(w.Ann->TrainCount(), 0);
    const float weight = w.Ann->Weight(0, 0, 1);
    w.c17lyipnE->setText("6");
    w.c27iniB->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(w.Ann->TrainCount(), 0);
    EXPECT_NE(w.Ann->Weight(0, 0, 1), weight);
    EXPECT_EQ(w.Layers, (std::vector<std::int32_t>{6, 7, 3, 2}));
    EXPECT_EQ(w.Iil, 6);
    EXPECT_EQ(w.a02mM->Lines().back(), "ネットワークを初期化しました ([6,7,3,2])");
    // "読込学習" goes on from these weights.
    w.a04RdB->click();
    w.WaitForCommand();
    EXPECT_GT(w.Ann->TrainCount(), 0);
}

TEST_F(FileCommands, TheExportReopensWithTheGridsRowsAndValues)
{
    TBrelvanF& w = *form;
    ImportTrainPredict(40);
    fileAnswers = {Answer("prices.csv")};
    w.b02csvB->click();
    ASSERT_EQ(fileRequests.size(), 1u);
    EXPECT_EQ(fileRequests[0].SuggestedName, "prices.csv");
    EXPECT_EQ(fileRequests[0].Filters, QStringList{"CSV ファイル (*.csv)"});
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

    QFile file(PathOf("prices.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
    ASSERT_EQ(lines.takeLast(), "");
    EXPECT_EQ(w.a02mM->Lines().back(), QStringLiteral("CSV出力: %1 (%2行)").arg(PathOf("prices.csv")).arg(lines.size() - 1));

    // Every cell as the grid shows it: the same text, or the same number
    // where the grid's text is a number (its thousands separators aside).
    QAbstractItemModel* grid = w.bDG->model();
    while (grid->canFetchMore({}))
        grid->fetchMore({});
    ASSERT_EQ(lines.size(), 1 + grid->rowCount());
    const int columns = int(w.bDG->Columns().size());
    QStringList titles;
    for (int n = 0; n < columns; ++n)
        titles << w.bDG->VisibleTitle(n);
    EXPECT_EQ(lines[0], titles.join(','));
    auto* delegate = qobject_cast<QStyledItemDelegate*>(w.bDG->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    int predictions = 0;
    const QRegularExpression price(QStringLiteral("^-?[0-9]{1,3}(,[0-9]{3})*\\.[0-9]{2}$"));
    EXPECT_EQ(w.bDG->VisibleTitle(2), "予測1");
    EXPECT_EQ(w.bDG->Columns()[2].Format, TDBGrid::TFormat::Price);
    for (int row = 0; row < grid->rowCount(); ++row) {
        const QStringList cells = lines[row + 1].split(',');
        ASSERT_EQ(cells.size(), columns) << lines[row + 1].toStdString();
        for (int n = 0; n < columns; ++n) {
            const int section = w.bDG->horizontalHeader()->logicalIndex(n);
            const QVariant value = grid->index(row, section).data();
            const QString shown = value.isNull() ? QString() : delegate->displayText(value, w.bDG->locale());
            bool gridNumber = false, csvNumber = false;
            const double gridValue = QString(shown).remove(',').toDouble(&gridNumber);
            const double csvValue = cells[n].toDouble(&csvNumber);
            if (gridNumber)
                EXPECT_TRUE(csvNumber && csvValue == gridValue) << row << "/" << n << ": " << shown.toStdString()
                                                                 << " vs " << cells[n].toStdString();
            else
                EXPECT_EQ(cells[n], shown) << row << "/" << n;
            predictions += n >= 2 && n <= 3 && !shown.isEmpty();
            // 終値, 始値, 高値, 安値 and the predictions read "#,##0.00".
            if (w.bDG->Columns()[std::size_t(n)].Format == TDBGrid::TFormat::Price && !shown.isEmpty()) {
                EXPECT_TRUE(price.match(shown).hasMatch()) << row << "/" << n << ": " << shown.toStdString();
            }
        }
    }
    EXPECT_GT(predictions, 40);
}

TEST_F(FileCommands, TheChartsMenuSavesAndCopiesItsPicture)
{
    TBrelvanF& w = *form;
    ImportTrainPredict(40);
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(60, 60), w.a03Cht->viewport()->mapToGlobal(QPoint(60, 60)));
    QCoreApplication::sendEvent(w.a03Cht->viewport(), &click);
    QMenu* menu = w.a03ChtMenu->Menu();
    EXPECT_TRUE(menu->isVisible());
    QStringList entries;
    for (QAction* action : menu->actions())
        entries << action->text();
    EXPECT_EQ(entries, QStringList({"画像を保存...", "コピー"}));
    menu->hide();

    const QSize size = w.a03Cht->size();
    fileAnswers = {Answer("screen.png", 0), Answer("print.png", 1), TFileAnswer()};
    for (int i = 0; i < 3; ++i)
        w.a03ChtMenu->SaveAction()->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(fileRequests[0].SuggestedName, "chart.png");
    EXPECT_EQ(fileRequests[0].Filters, QStringList({"PNG 画像 (*.png)", "PNG 画像 印刷用 2倍 (*.png)"}));
    const QImage screen(PathOf("screen.png"));
    const QImage print(PathOf("print.png"));
    EXPECT_EQ(screen.size(), size);
    EXPECT_EQ(print.size(), size * 2);
    EXPECT_NEAR(print.dotsPerMeterX(), 2 * screen.dotsPerMeterX(), 1);   // the same printed size
    EXPECT_EQ(QDir(folder.path()).entryList({"*.png"}), QStringList({"print.png", "screen.png"}));
    EXPECT_EQ(w.a02mM->Lines().mid(w.a02mM->Lines().size() - 2),
              QStringList({"画像保存: " + PathOf("screen.png"), "画像保存: " + PathOf("print.png")}));
    // The picture is the chart: mostly the chart's own background, not empty.
    EXPECT_NE(screen.pixelColor(size.width() / 2, size.height() / 2), QColor(Qt::transparent));

    QApplication::clipboard()->clear();
    w.a03ChtMenu->CopyAction()->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().size(), size);
}

TEST_F(FileCommands, AnExportThatCannotBeWrittenSaysWhyAndKeepsTheFormerFile)
{
    TBrelvanF& w = *form;
    ASSERT_TRUE(QDir(folder.path()).mkdir("prices.csv"));
    fileAnswers = {Answer("prices.csv"), Answer("none/prices.csv")};
    w.b02csvB->click();
    w.b02csvB->click();
    EXPECT_EQ(messages, QStringList({PathOf("prices.csv") + " に保存できませんでした: 同じ名前のフォルダがあります",
                                     PathOf("none/prices.csv") + " に保存できませんでした: 保存先のフォルダがありません"}));
}

}  // namespace
