// The buttons that keep and reuse a run's work: the model file (save and
// load) and a fresh network on the settings page's bottom bar, the CSV
// export on the data page, and the chart's context menu.  Each asks for its
// file through the file-dialog seam before it starts; nothing happens when
// the user cancels.
#include "app/BrelvanU.h"

#include "app/Dialogs.h"
#include "prices/PriceTexts.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace {

QPushButton* MakeBarButton(const char* name, const QString& caption, QWidget* bar, int left, int width)
{
    auto* button = new QPushButton(caption, bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 8, width, 25);
    return button;
}

TFileRequest Request(TFileRequest::TMode mode, const QString& caption, const QString& suggested, QStringList filters)
{
    TFileRequest request;
    request.Mode = mode;
    request.Caption = caption;
    request.Folder = QDir::currentPath();   // the working folder, where the price file and SQDB.DB are
    request.SuggestedName = suggested;
    request.Filters = std::move(filters);
    return request;
}

}  // namespace

void TBrelvanF::BuildFileCommands()
{
    // In the bars that are empty at the window's default size, so that every
    // other control keeps its place.
    b02csvB = MakeBarButton("b02csvB", QStringLiteral("CSV出力"), b01P, 16, 120);
    c25msvB = MakeBarButton("c25msvB", QStringLiteral("モデル保存"), c02bpP, 24, 140);
    c26mldB = MakeBarButton("c26mldB", QStringLiteral("モデル読込"), c02bpP, 172, 140);
    c27iniB = MakeBarButton("c27iniB", QStringLiteral("学習初期化"), c02bpP, 320, 140);
    setTabOrder(c24rgB, c25msvB);
    setTabOrder(c25msvB, c26mldB);
    setTabOrder(c26mldB, c27iniB);
    a03ChtMenu = new TChartMenu(a03Cht, [this](const QString& file) { AddLogLine(ChartImageSavedLine(file)); });

    const auto command = [this](QPushButton* button, void (TBrelvanF::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    command(b02csvB, &TBrelvanF::b02csvBClick);
    command(c25msvB, &TBrelvanF::c25msvBClick);
    command(c26mldB, &TBrelvanF::c26mldBClick);
    command(c27iniB, &TBrelvanF::c27iniBClick);
}

void TBrelvanF::c25msvBClick()
{
    RequireStarted();
    const TFileAnswer answer = AskFileName(Request(TFileRequest::TMode::Save, QStringLiteral("モデル保存"),
                                                   SuggestedModelName(c11cntL->text()), {ModelFileFilter()}));
    if (!answer.Chosen())
        return;
    TWaitCursor wait;
    y06mdlSav(answer.FileName);
}

void TBrelvanF::c26mldBClick()
{
    RequireStarted();
    const TFileAnswer answer = AskFileName(Request(TFileRequest::TMode::Open, QStringLiteral("モデル読込"), QString(),
                                                   {ModelFileFilter(), QStringLiteral("すべてのファイル (*)")}));
    if (!answer.Chosen())
        return;
    y07mdlLod(answer.FileName);   // quick, and it may end with a message: no wait cursor
}

void TBrelvanF::c27iniBClick()
{
    RequireStarted();
    TWaitCursor wait;
    y08annIni();
}

void TBrelvanF::b02csvBClick()
{
    RequireStarted();
    const TFileAnswer answer = AskFileName(Request(TFileRequest::TMode::Save, QStringLiteral("CSV出力"),
                                                   QStringLiteral("prices.csv"), {CsvFileFilter()}));
    if (!answer.Chosen())
        return;
    TWaitCursor wait;
    y09csvOut(answer.FileName);
}
