// The chart's context menu (right click): "画像を保存..." saves the chart as a
// PNG picture at its size on screen, or at twice that size for print (the
// file dialog's second filter), and "コピー" puts the picture on the
// clipboard.  Self-contained: it draws the chart widget as it stands.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QPoint;
class QWidget;

class TChartMenu : public QObject {
    Q_OBJECT
public:
    // Installs the menu on `chart`; `saved` is told the file of every picture saved.
    TChartMenu(QWidget* chart, std::function<void(const QString& file)> saved);
    ~TChartMenu() override;

    QMenu* Menu() const { return fMenu; }
    QAction* SaveAction() const { return fSave; }
    QAction* CopyAction() const { return fCopy; }

    // What the two entries do (errors go to the default handler).
    void SaveImage();
    void CopyImage();

private:
    void Popup(const QPoint& at);
    QWidget* fChart;
    std::function<void(const QString&)> fSaved;
    QMenu* fMenu;
    QAction* fSave;
    QAction* fCopy;
};

// The chart drawn into a picture `scale` times its size on screen, with the
// resolution that keeps its printed size.
QImage ChartPicture(QWidget* chart, int scale);
