// The window's controls in the shapes the controller uses: a panel with a
// caption, a log memo, a chart whose line series are addressed by index, a
// page control with owner-drawn tabs and a grid bound to a data source.
#pragma once

#include <QFrame>
#include <QLayout>
#include <QList>
#include <QPlainTextEdit>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QtCharts/QChartView>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

class QLabel;
class QLineSeries;
class QCategoryAxis;
class QValueAxis;
class QIdentityProxyModel;
class TChart;
class TQuery;
struct TDataSource;

// Docks widgets to an edge of their parent the way the window is laid out:
// top and bottom bars keep their height and take the whole width, in the
// order they were added; one client widget fills what is left.  Children that
// are not in the layout keep the place they were given.
class TAlignLayout : public QLayout {
public:
    enum TAlign { alTop, alBottom, alClient };
    explicit TAlignLayout(QWidget* parent);
    ~TAlignLayout() override;
    void AddWidget(QWidget* widget, TAlign align);   // alTop/alBottom keep the widget's height

    void addItem(QLayoutItem* item) override;        // docks to the client area
    int count() const override { return int(fItems.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    struct TItem {
        QLayoutItem* Item;
        TAlign Align;
        int Height;
    };
    std::vector<TItem> fItems;
};

// Keeps controls at their distances to the edges of the window they are
// anchored to while the window grows beyond its design size.  Each edge of a
// control moves by its share of the growth: 0 keeps its distance to the left
// or top, 1 its distance to the right or bottom; a share between the two
// splits the growth between controls that stand one above the other.  The
// controls' parents grow with the window (the pages and bars do), so a
// distance to the window's edge is one to the parent's edge.
class TAnchors {
public:
    struct TEdges {
        double Left, Top, Right, Bottom;
    };
    explicit TAnchors(QSize design) : fDesign(design) {}
    // The control's geometry now is its place at the design size.
    void Anchor(QWidget* control, TEdges edges);
    // Places every control for a window of `size`.
    void Apply(QSize size) const;
    QSize Design() const { return fDesign; }

private:
    struct TItem {
        QPointer<QWidget> Control;
        QRect Place;
        TEdges Edges;
    };
    QSize fDesign;
    std::vector<TItem> fItems;
};

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
// so that the headless driver can print it as it comes.  Tab moves the focus
// on (it types no tab character); the focused log shows it on its frame.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    void Add(const QString& line);
    QStringList Lines() const;
signals:
    void lineAdded(const QString& line);
protected:
    bool event(QEvent* e) override;
};

// One line series of the chart: points with an X, a Y and a date label.
// Adding a point only stores it; the chart shows the stored points when its
// axes are next updated (TChart::UpdateAxes, called by the commands when
// they have added all their points, or else on the next turn of the event
// loop), so that thousands of points cost one redraw.  The series keeps every
// point; what it draws is thinned to a few points per pixel column of the
// plot (DecimateForColumns), with a thin pen once it has more points than the
// plot has pixels.
class TLineSeries {
public:
    TLineSeries(QLineSeries* series, TChart* chart);
    void Clear();
    void AddXY(double x, double y, const QString& label);
    int Count() const { return int(fPoints.size()); }
    double XValue(int index) const;          // ERangeError outside 0..Count-1
    double YValue(int index) const;
    QString Label(int index) const;
    QLineSeries* Series() const { return fSeries; }

    void SetTitle(const QString& title);
    QString Title() const;
    void SetPenWidth(int width);             // the series' own width
    int PenWidth() const { return fPenWidth; }
    int DrawnPenWidth() const;               // the width it is drawn with now

private:
    friend class TChart;
    void CheckIndex(int index) const;
    void Draw(double left, double right, int columns);   // hands the drawn points to Qt
    qsizetype IndexNear(double x) const;     // the point within half a position of x, -1 when none
    bool HasLabel(qsizetype index) const;
    QString LabelAt(qsizetype index) const;
    QLineSeries* fSeries;
    TChart* fChart;
    QList<QPointF> fPoints;
    // The labels: those of Latin-1 text (dates, as the predictions write
    // them) as bytes one after the other, label i ending at fLabelEnds[i];
    // any other label by itself in fWideLabels.  A history of a million days
    // keeps its labels in some ten bytes a day.
    QByteArray fLabelBytes;
    std::vector<quint32> fLabelEnds;
    std::unordered_map<qsizetype, QString> fWideLabels;
    int fPenWidth = 1;
    bool fShown = true;   // the QLineSeries shows the points of fPoints
};

// The result chart.  Series are created by the chart set-up and then found
// by index; the bottom axis shows the points' date labels, the left axis
// round bounds around the prices in view.  The reader zooms with the wheel
// (around the mouse), pans by dragging with the left button and sees all
// again with a double click (or +, -, the arrow keys and Home once the chart
// has the focus); over the plot a tooltip gives the date and the series'
// values at the mouse.
class TChart : public QChartView {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;
    int SeriesCount() const { return int(fSeries.size()); }
    TLineSeries* Series(int index);          // ERangeError outside 0..count-1
    TLineSeries* AddLineSeries();            // creates and adds a series owned by the chart
    void RemoveAllSeries();
    void SetTitle(const QString& title);
    QString Title() const;
    bool View3D = true;                      // flat once the set-up has run
    bool LeftAxisAutomatic = true;           // the left axis follows the points

    // Bottom axis: label angle in degrees (90: vertical text) and label size in points.
    void SetBottomLabels(int angle, int pointSize);
    QValueAxis* LeftAxis() const { return fAxisY; }
    QCategoryAxis* BottomAxis() const { return fAxisX; }

    // Re-derives the axes from the points and shows them all: the left axis
    // follows them, the bottom axis carries thinned, vertical date labels.
    // Shows the points added since the last update.
    void UpdateAxes();

    // The positions in view, from ViewLeft to ViewRight: all of them after
    // UpdateAxes.  ShowRange keeps within the points' positions and shows at
    // least kMinSpan of them; ZoomAround narrows the view by `factor` (below
    // 1: widens it) keeping x where it is on the plot.
    double ViewLeft() const { return fLeft; }
    double ViewRight() const { return fRight; }
    bool ShowsAll() const { return fLeft == fAllLeft && fRight == fAllRight; }
    void ShowRange(double left, double right);
    void ZoomAround(double x, double factor);
    void ShowAll();
    static constexpr double kMinSpan = 10;
    static constexpr double kZoomStep = 1.25;   // one notch of the wheel

    // The tooltip's text at position x: the date, then each series' title
    // and value ("#0.00") where it has a point; empty where none has.
    QString PointsText(double x) const;
    // The position at a point of the viewport (the chart's own coordinates).
    double PositionAt(const QPointF& viewportPoint) const;

    // While held, added points wait for an explicit UpdateAxes (or the
    // release) instead of being shown on the next turn of the event loop:
    // for a command that adds its points over many turns.
    void SetUpdatesHeld(bool held);

    // How many points apart the bottom axis's labels are (1: every point).
    int LabelStep() const { return fLabelStep; }

    // A dashed vertical line across the plot at position x, named in the
    // legend; shown while x lies within the points' positions.  Not a series
    // of the index above.
    void SetMark(double x, const QString& title);
    void ClearMark();
    bool MarkShown() const;
    double MarkX() const { return fMarkX; }
    // The plot's width in device pixels: the columns the series are drawn for.
    int PlotColumns() const;

protected:
    bool event(QEvent* e) override;          // the focus shown on the frame
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TLineSeries;
    void ApplyLook();                        // fonts and colours from the widget's
    void PointsChanged();                    // schedules one update on the event loop
    void ShowView(double left, double right);   // the axes, the mark and the series for a view
    void FitLeftAxis();
    void ShowTip(const QPoint& viewportPoint);
    void DrawSeries(bool all);               // all series, or those with points not shown yet
    void CollectAxisLabels();
    void RelabelBottomAxis();
    double PlotWidth() const;                // in pixels; estimated before the first layout
    std::vector<TLineSeries*> fSeries;
    QValueAxis* fAxisY = nullptr;
    QCategoryAxis* fAxisX = nullptr;
    // One label per X, ascending: the position and the series point it is taken from.
    struct TAxisLabel {
        double X;
        int Series;
        qsizetype Index;
    };
    std::vector<TAxisLabel> fAxisLabels;
    int fLabelStep = 1;
    double fAllLeft = 0, fAllRight = 1;      // the points' positions
    double fLeft = 0, fRight = 1;            // the bottom axis's range: the view
    bool fHasPoints = false;
    bool fDragging = false;                  // the left button pans the view
    QPointF fDragFrom;
    double fDragLeft = 0, fDragRight = 1;
    int fDrawnColumns = 0;                   // the columns the series were last drawn for
    bool fUpdatePending = false;
    QLineSeries* fMark = nullptr;   // owned by the chart
    double fMarkX = 0;
    bool fMarkSet = false;
    bool fRedrawPending = false;
    bool fHeld = false;
};

// A page control whose tabs are drawn by a handler of the owner.  Before each
// call the drawing surface carries the page control's font and brush.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    using TDrawTab = std::function<void(QPainter& canvas, int tabIndex, const QRect& rect, bool active)>;
    explicit TPageControl(QWidget* parent = nullptr);
    void SetOnDrawTab(TDrawTab handler);
    QWidget* ActivePage() const { return currentWidget(); }
    void SetActivePage(QWidget* page) { setCurrentWidget(page); }
    QBrush TabBrush() const;                 // what each tab is filled with
private:
    TDrawTab fOnDrawTab;
};

// The tab bar of TPageControl: paints every tab through the owner's handler.
class TTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}
    void SetOnDrawTab(TPageControl::TDrawTab handler) { fOnDrawTab = std::move(handler); update(); }
protected:
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
private:
    TPageControl::TDrawTab fOnDrawTab;
};

// A grid bound to a query through a data source.  Its columns are fixed by
// field name with their titles; widths follow the fields' display widths.
// Fields without a column are hidden; the grid follows the query's current row.
// A number column is right-aligned; a price column also shows its values,
// numbers or price texts alike, with "#,##0.00" (what is stored is not
// changed).
// The arrow keys move in the grid and Tab leaves it; the focused grid shows
// it on its frame.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    enum class TFormat { Text, Number, Price };
    struct TColumn {
        QString FieldName;
        QString Title;                    // empty: the field name shows
        TFormat Format = TFormat::Text;
        int MinChars = 0;                 // characters shown whole, whatever the display width says
    };
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;
    void SetColumns(std::vector<TColumn> columns);
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return fSource; }
    const std::vector<TColumn>& Columns() const { return fColumns; }
    // The field shown in the n-th visible column (from 0), empty when none.
    QString VisibleField(int n) const;
    QString VisibleTitle(int n) const;
    int VisibleWidth(int n) const;
    int CurrentRecord() const;               // row of the current cell, -1 when none
    // The text the cell of a row and field shows, as its column formats it.
    QString CellText(int row, const QString& field) const;
    // The widest display width a column takes, in characters: a stored
    // width is clamped to it before it becomes pixels.
    static constexpr int MaxDisplayChars = 10000;
protected:
    bool event(QEvent* e) override;
private:
    void ApplyLayout();
    void FollowRow(int row);
    const TColumn* ColumnOfSection(int section) const;
    TFormat FormatOfSection(int section) const;
    friend class TGridTitles;
    std::vector<TColumn> fColumns;
    std::vector<TFormat> fSectionFormats;    // by the query's field index, set by ApplyLayout
    TDataSource* fSource = nullptr;
    QPointer<TQuery> fQuery;
    QIdentityProxyModel* fTitles;
    std::vector<QMetaObject::Connection> fConnections;
};
