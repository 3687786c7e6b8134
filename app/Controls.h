// The window's controls in the shapes the controller uses: a panel with a
// caption, a log memo, a chart whose line series are addressed by index, a
// page control with owner-drawn tabs and a grid bound to a data source.
#pragma once

#include <QFrame>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <QTableView>
#include <QtCharts/QChartView>
#include <functional>
#include <vector>

class QLabel;
class QLineSeries;
class QCategoryAxis;
class QValueAxis;
struct TDataSource;

// A panel showing one caption, centred.
class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(const QString& name, QWidget* parent = nullptr);
    QString Caption() const;
    void SetCaption(const QString& caption);
private:
    QLabel* fLabel;
};

// The log: lines are only appended.  Every appended line is also announced,
// so that the headless driver can print it as it comes.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    void Add(const QString& line);
    QStringList Lines() const;
signals:
    void lineAdded(const QString& line);
};

// One line series of the chart: points with an X, a Y and a date label.
class TLineSeries {
public:
    explicit TLineSeries(QLineSeries* series) : fSeries(series) {}
    void Clear();
    void AddXY(double x, double y, const QString& label);
    int Count() const;
    double XValue(int index) const;
    double YValue(int index) const;
    QString Label(int index) const;
    QLineSeries* Series() const { return fSeries; }
private:
    friend class TChart;
    QLineSeries* fSeries;
    std::vector<QString> fLabels;
};

// The result chart.  Series are created by the chart set-up and then found
// by index; the bottom axis shows the points' date labels.
class TChart : public QChartView {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;
    int SeriesCount() const { return int(fSeries.size()); }
    TLineSeries* Series(int index);          // ERangeError outside 0..count-1
    TLineSeries* AddLineSeries();            // creates and adds a series owned by the chart
    void SetTitle(const QString& title);
    QString Title() const;
    bool View3D = true;                      // flat once the set-up has run
    // Re-derives the axes from the points: the left axis follows them, the
    // bottom axis carries thinned, vertical date labels.
    void UpdateAxes();
private:
    std::vector<TLineSeries*> fSeries;
    QValueAxis* fAxisY = nullptr;
    QCategoryAxis* fAxisX = nullptr;
};

// A page control whose tabs are drawn by a handler of the owner.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    using TDrawTab = std::function<void(QPainter& canvas, int tabIndex, const QRect& rect, bool active)>;
    explicit TPageControl(QWidget* parent = nullptr);
    void SetOnDrawTab(TDrawTab handler);
    QWidget* ActivePage() const { return currentWidget(); }
    void SetActivePage(QWidget* page) { setCurrentWidget(page); }
};

// A grid bound to a query through a data source.  Its columns are fixed by
// field name with their titles; widths follow the fields' display widths.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    struct TColumn {
        QString FieldName;
        QString Title;   // empty: the field name shows
    };
    explicit TDBGrid(QWidget* parent = nullptr);
    void SetColumns(std::vector<TColumn> columns);
    void SetDataSource(TDataSource* source);
    const std::vector<TColumn>& Columns() const { return fColumns; }
private:
    void ApplyLayout();
    std::vector<TColumn> fColumns;
    TDataSource* fSource = nullptr;
};
