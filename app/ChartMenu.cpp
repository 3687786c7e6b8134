#include "app/ChartMenu.h"

#include "base/Errors.h"
#include "base/FileDialogs.h"
#include "base/Messages.h"
#include "base/SaveFile.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cmath>

namespace {

const QString kScreenFilter = QStringLiteral("PNG 画像 (*.png)");
const QString kPrintFilter = QStringLiteral("PNG 画像 印刷用 2倍 (*.png)");

// The chart drawn for print: twice its size on screen.
constexpr int kPrintScale = 2;
// A picture of the chart's size on screen is taken to be 96 dots per inch.
constexpr double kScreenDotsPerMetre = 96 / 0.0254;

}  // namespace

QImage ChartPicture(QWidget* chart, int scale)
{
    QPixmap pixmap(chart->size() * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(chart->palette().color(QPalette::Window));
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        chart->render(&painter);
    }
    QImage image = pixmap.toImage();
    image.setDevicePixelRatio(1);
    const int dotsPerMetre = int(std::lround(kScreenDotsPerMetre * scale));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    return image;
}

TChartMenu::TChartMenu(QWidget* chart, std::function<void(const QString&)> saved)
    : QObject(chart), fChart(chart), fSaved(std::move(saved)), fMenu(new QMenu(chart))
{
    fMenu->setObjectName(QStringLiteral("a03ChtMenu"));
    fSave = fMenu->addAction(QStringLiteral("画像を保存..."));
    fCopy = fMenu->addAction(QStringLiteral("コピー"));
    connect(fSave, &QAction::triggered, this, [this] { Guarded([this] { SaveImage(); }); });
    connect(fCopy, &QAction::triggered, this, [this] { Guarded([this] { CopyImage(); }); });
    chart->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chart, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { Popup(at); });
}

TChartMenu::~TChartMenu() = default;

// popup, not exec: the menu never holds the caller, and the window goes on.
void TChartMenu::Popup(const QPoint& at) { fMenu->popup(fChart->mapToGlobal(at)); }

void TChartMenu::SaveImage()
{
    TFileRequest request;
    request.Mode = TFileRequest::TMode::Save;
    request.Caption = QStringLiteral("グラフの画像を保存");
    request.Folder = QDir::currentPath();
    request.SuggestedName = QStringLiteral("chart.png");
    request.Filters = {kScreenFilter, kPrintFilter};
    const TFileAnswer answer = AskFileName(request);
    if (!answer.Chosen())
        return;
    const int scale = answer.Filter == 1 ? kPrintScale : 1;
    // Encoded in memory first, so that a file that cannot be written fails
    // in the save and never halfway through the encoder.
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !ChartPicture(fChart, scale).save(&buffer, "PNG"))
        throw EFileError(SaveFailedText(answer.FileName, QStringLiteral("グラフを PNG にできませんでした")));
    SaveWholeFile(answer.FileName, png);
    if (fSaved)
        fSaved(answer.FileName);
}

void TChartMenu::CopyImage() { QGuiApplication::clipboard()->setImage(ChartPicture(fChart, 1)); }
