#include "app/Controls.h"

#include "app/ChartDecimation.h"
#include "app/ChartScale.h"
#include "base/Convert.h"
#include "base/Errors.h"
#include "db/Data.h"

#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSqlRecord>
#include <QStyle>
#include <QStyleOptionTab>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QToolTip>
#include <QWheelEvent>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

// ---- TAlignLayout ------------------------------------------------------------

TAlignLayout::TAlignLayout(QWidget* parent) : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

TAlignLayout::~TAlignLayout()
{
    for (auto& item : fItems)
        delete item.Item;
}

void TAlignLayout::AddWidget(QWidget* widget, TAlign align)
{
    addChildWidget(widget);
    fItems.push_back({new QWidgetItem(widget), align, widget->height()});
    invalidate();
}

void TAlignLayout::addItem(QLayoutItem* item) { fItems.push_back({item, alClient, 0}); }

QLayoutItem* TAlignLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? fItems[std::size_t(index)].Item : nullptr;
}

QLayoutItem* TAlignLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = fItems[std::size_t(index)].Item;
    fItems.erase(fItems.begin() + index);
    return item;
}

QSize TAlignLayout::sizeHint() const { return minimumSize(); }

QSize TAlignLayout::minimumSize() const
{
    int height = 0;
    for (const auto& item : fItems)
        height += item.Height;
    return {0, height};
}

void TAlignLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    QRect rest = rect;
    for (const auto& item : fItems) {
        if (item.Align == alTop) {
            item.Item->setGeometry(QRect(rest.left(), rest.top(), rest.width(), item.Height));
            rest.setTop(rest.top() + item.Height);
        } else if (item.Align == alBottom) {
            item.Item->setGeometry(QRect(rest.left(), rest.bottom() + 1 - item.Height, rest.width(), item.Height));
            rest.setBottom(rest.bottom() - item.Height);
        }
    }
    for (const auto& item : fItems) {
        if (item.Align == alClient)
            item.Item->setGeometry(rest);
    }
}

// ---- TAnchors ------------------------------------------------------------------

void TAnchors::Anchor(QWidget* control, TEdges edges) { fItems.push_back({control, control->geometry(), edges}); }

void TAnchors::Apply(QSize size) const
{
    const int dx = size.width() - fDesign.width(), dy = size.height() - fDesign.height();
    const auto moved = [](int edge, double share, int growth) { return edge + int(std::lround(share * growth)); };
    for (const TItem& item : fItems) {
        if (!item.Control)
            continue;
        const QRect& p = item.Place;
        const int left = moved(p.left(), item.Edges.Left, dx), top = moved(p.top(), item.Edges.Top, dy);
        const int right = moved(p.left() + p.width(), item.Edges.Right, dx);
        const int bottom = moved(p.top() + p.height(), item.Edges.Bottom, dy);
        item.Control->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
    }
}

// ---- TPanel, TMemo -------------------------------------------------------------

TPanel::TPanel(const QString& name, QWidget* parent) : QFrame(parent), fLabel(new QLabel(this))
{
    setObjectName(name);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    fLabel->setAlignment(Qt::AlignCenter);
    fLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(fLabel);
}

QString TPanel::Caption() const { return fLabel->text(); }
void TPanel::SetCaption(const QString& caption) { fLabel->setText(caption); }

namespace {

// The keyboard focus of a framed control drawn over its frame in the
// highlight colour, as a focused edit shows it: for the log, the grids and
// the chart, whose frames the style draws alike whether focused or not.
// Call after the control has painted its frame.
void PaintFocusFrame(QFrame* frame)
{
    if (!frame->hasFocus())
        return;
    const int width = std::max(1, frame->frameWidth());
    QPainter painter(frame);
    QPen pen(frame->palette().color(QPalette::Highlight), width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = width / 2.0;
    painter.drawRect(QRectF(frame->rect()).adjusted(inset, inset, -inset, -inset));
}

}  // namespace

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) { setTabChangesFocus(true); }

bool TMemo::event(QEvent* e)
{
    const bool handled = QPlainTextEdit::event(e);
    if (e->type() == QEvent::Paint)
        PaintFocusFrame(this);
    return handled;
}

void TMemo::Add(const QString& line)
{
    appendPlainText(line);
    emit lineAdded(line);
}

QStringList TMemo::Lines() const
{
    const QString text = toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// ---- TLineSeries ---------------------------------------------------------------

TLineSeries::TLineSeries(QLineSeries* series, TChart* chart) : fSeries(series), fChart(chart) {}

void TLineSeries::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw ERangeError(QStringLiteral("系列の点の番号 %1 は範囲外です").arg(index));
}

void TLineSeries::Clear()
{
    fPoints.clear();
    fLabelBytes.clear();
    fLabelEnds.clear();
    fWideLabels.clear();
    fShown = false;
    fChart->PointsChanged();
}

void TLineSeries::AddXY(double x, double y, const QString& label)
{
    const QChar* text = label.constData();
    const qsizetype length = label.size();
    const bool latin1 = std::all_of(text, text + length, [](QChar c) { return c.unicode() <= 0xff; });
    if (latin1 && fLabelBytes.size() + length > qsizetype(std::numeric_limits<quint32>::max()))
        throw ERangeError(QStringLiteral("系列の点のラベルが多すぎます"));
    fPoints.append(QPointF(x, y));
    if (latin1) {
        const qsizetype at = fLabelBytes.size();
        fLabelBytes.resize(at + length);
        char* out = fLabelBytes.data() + at;
        for (qsizetype i = 0; i < length; ++i)
            out[i] = char(text[i].unicode());
    } else {
        fWideLabels.emplace(fPoints.size() - 1, label);
    }
    fLabelEnds.push_back(quint32(fLabelBytes.size()));
    if (fShown) {
        fShown = false;
        fChart->PointsChanged();
    }
}

double TLineSeries::XValue(int index) const { CheckIndex(index); return fPoints[index].x(); }
double TLineSeries::YValue(int index) const { CheckIndex(index); return fPoints[index].y(); }
QString TLineSeries::Label(int index) const
{
    CheckIndex(index);
    return LabelAt(index);
}

bool TLineSeries::HasLabel(qsizetype index) const
{
    const quint32 start = index > 0 ? fLabelEnds[std::size_t(index) - 1] : 0;
    return fLabelEnds[std::size_t(index)] > start || (!fWideLabels.empty() && fWideLabels.count(index));
}

QString TLineSeries::LabelAt(qsizetype index) const
{
    const quint32 start = index > 0 ? fLabelEnds[std::size_t(index) - 1] : 0;
    const quint32 end = fLabelEnds[std::size_t(index)];
    if (end > start)
        return QString::fromLatin1(fLabelBytes.constData() + start, qsizetype(end - start));
    const auto wide = fWideLabels.find(index);
    return wide == fWideLabels.end() ? QString() : wide->second;
}

void TLineSeries::SetTitle(const QString& title) { fSeries->setName(title); }
QString TLineSeries::Title() const { return fSeries->name(); }

void TLineSeries::SetPenWidth(int width)
{
    fPenWidth = width;
    fShown = false;
    fChart->PointsChanged();
}

int TLineSeries::DrawnPenWidth() const { return fSeries->pen().width(); }

// More points in view than the plot has pixel columns run together into a
// band unless the pen is thin: at most 2 pixels then, so that the series stay
// apart.  Zoomed in far enough, the series' own width comes back.
void TLineSeries::Draw(double left, double right, int columns)
{
    QPen pen = fSeries->pen();
    const int width = SliceWithin(fPoints, left, right).Count() > columns ? std::min(fPenWidth, 2) : fPenWidth;
    if (pen.width() != width) {
        pen.setWidth(width);
        fSeries->setPen(pen);
    }
    fSeries->replace(VisiblePoints(fPoints, left, right, columns));
    fShown = true;
}

qsizetype TLineSeries::IndexNear(double x) const
{
    const TPointSlice near = SliceWithin(fPoints, x - 0.5, x + 0.5);
    qsizetype best = -1;
    for (qsizetype i = near.First; i < near.Last; ++i) {
        const double distance = std::abs(fPoints[i].x() - x);
        if (distance <= 0.5 && (best < 0 || distance < std::abs(fPoints[best].x() - x)))
            best = i;
    }
    return best;
}

// ---- TChart --------------------------------------------------------------------

namespace {

// Distinguishable on the light and on the dark look.
const QColor kSeriesColours[] = {QColor(0x3d, 0x8e, 0xf0), QColor(0xf0, 0x8c, 0x1a), QColor(0x2e, 0xb8, 0x5c),
                                 QColor(0xc8, 0x4c, 0xd8)};

bool IsDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

}  // namespace

TChart::TChart(QWidget* parent) : QChartView(parent)
{
    setRenderHint(QPainter::Antialiasing);
    // Framed like the log and the grids, so that the focus shows on the frame.
    setFrameShape(QFrame::StyledPanel);
    viewport()->setMouseTracking(true);   // the tooltip follows the mouse
    chart()->setTheme(IsDarkPalette(palette()) ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart()->setTitle(QStringLiteral("a03Cht"));
    // Above the plot, so that the plot has the chart's whole width.
    chart()->legend()->setAlignment(Qt::AlignTop);
    // The chart's panel fills the view: every pixel of height goes to the
    // title, the legend, the plot and the vertical date labels.
    chart()->layout()->setContentsMargins(0, 0, 0, 0);
    chart()->setBackgroundRoundness(0);
    chart()->setMargins(QMargins(4, 2, 8, 2));

    // The left axis's labels with a point whatever the locale: unlocalised,
    // the format is applied in the C locale.
    chart()->setLocalizeNumbers(false);
    fAxisY = new QValueAxis;
    fAxisY->setLabelFormat(QStringLiteral("%.7g"));
    fAxisY->setTitleText(QStringLiteral("価格"));
    chart()->addAxis(fAxisY, Qt::AlignLeft);

    fAxisX = new QCategoryAxis;
    fAxisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    fAxisX->setTitleText(QStringLiteral("日付"));
    // Shown with the dates: without categories the axis has no height, and
    // its title would stand at the chart's top left corner.
    fAxisX->setTitleVisible(false);
    chart()->addAxis(fAxisX, Qt::AlignBottom);
    ApplyLook();

    // A plot of another width draws the series for its own pixel columns
    // (on the next turn of the event loop: not inside the chart's layout).
    connect(chart(), &QChart::plotAreaChanged, this, [this] {
        if (fRedrawPending || PlotColumns() == fDrawnColumns)
            return;
        fRedrawPending = true;
        QPointer<TChart> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (!self)
                    return;
                self->fRedrawPending = false;
                // A pending update draws for the new width itself.
                if (!self->fUpdatePending && self->PlotColumns() != self->fDrawnColumns) {
                    self->DrawSeries(true);
                    self->RelabelBottomAxis();
                }
            },
            Qt::QueuedConnection);
    });
}

TChart::~TChart()
{
    for (TLineSeries* series : fSeries)
        delete series;
}

// The window's typeface at sizes that read beside its 23-pixel controls (the
// bottom axis's labels keep the size SetBottomLabels gives them), and the
// palette's text colour on its base colour, as in the log.
void TChart::ApplyLook()
{
    const auto sized = [this](int pixels, bool bold = false) {
        QFont font = this->font();
        font.setPixelSize(pixels);
        font.setBold(bold);
        return font;
    };
    chart()->setTitleFont(sized(16, true));
    chart()->legend()->setFont(sized(14));
    fAxisY->setLabelsFont(sized(14));
    fAxisY->setTitleFont(sized(14));
    fAxisX->setTitleFont(sized(14));
    QFont bottom = fAxisX->labelsFont();
    bottom.setFamilies(font().families());
    fAxisX->setLabelsFont(bottom);

    const QBrush text(palette().color(QPalette::Text));
    chart()->setBackgroundBrush(palette().brush(QPalette::Base));
    chart()->setTitleBrush(text);
    chart()->legend()->setLabelBrush(text);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(fAxisX), static_cast<QAbstractAxis*>(fAxisY)}) {
        axis->setLabelsBrush(text);
        axis->setTitleBrush(text);
    }
}

TLineSeries* TChart::Series(int index)
{
    if (index < 0 || index >= SeriesCount())
        throw ERangeError(QStringLiteral("系列の番号 %1 は範囲外です").arg(index));
    return fSeries[std::size_t(index)];
}

TLineSeries* TChart::AddLineSeries()
{
    auto* line = new QLineSeries;   // the chart owns it once added
    chart()->addSeries(line);
    line->attachAxis(fAxisX);
    line->attachAxis(fAxisY);
    const QColor colour = kSeriesColours[fSeries.size() % std::size(kSeriesColours)];
    QPen pen(colour);
    pen.setWidth(1);
    line->setPen(pen);
    fSeries.push_back(new TLineSeries(line, this));
    return fSeries.back();
}

void TChart::RemoveAllSeries()
{
    for (TLineSeries* series : fSeries) {
        chart()->removeSeries(series->Series());
        delete series->Series();
        delete series;
    }
    fSeries.clear();
    if (fMark) {
        chart()->removeSeries(fMark);
        delete fMark;
        fMark = nullptr;
        fMarkSet = false;
    }
    UpdateAxes();
}

void TChart::SetMark(double x, const QString& title)
{
    if (!fMark) {   // made on first use, so that the legend names it after the series
        fMark = new QLineSeries;
        chart()->addSeries(fMark);
        fMark->attachAxis(fAxisX);
        fMark->attachAxis(fAxisY);
        QPen pen(QColor(0xe0, 0x3c, 0x3c));
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        fMark->setPen(pen);
        fMark->setVisible(false);
    }
    fMarkX = x;
    fMarkSet = true;
    fMark->setName(title);
    PointsChanged();
}

void TChart::ClearMark()
{
    fMarkSet = false;
    PointsChanged();
}

bool TChart::MarkShown() const { return fMark && fMark->isVisible(); }

void TChart::SetTitle(const QString& title) { chart()->setTitle(title); }
QString TChart::Title() const { return chart()->title(); }

void TChart::SetBottomLabels(int angle, int pointSize)
{
    // Positive angles turn the text counter-clockwise, so 90 reads upwards.
    fAxisX->setLabelsAngle(-angle);
    QFont font = fAxisX->labelsFont();
    font.setPointSize(pointSize);
    fAxisX->setLabelsFont(font);
    RelabelBottomAxis();
}

void TChart::SetUpdatesHeld(bool held)
{
    fHeld = held;
    if (!held && fUpdatePending)
        UpdateAxes();
}

void TChart::PointsChanged()
{
    if (fUpdatePending)
        return;
    fUpdatePending = true;
    if (fHeld)
        return;   // the release or an explicit update shows them
    QPointer<TChart> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self && self->fUpdatePending && !self->fHeld)
                self->UpdateAxes();
        },
        Qt::QueuedConnection);
}

void TChart::UpdateAxes()
{
    fUpdatePending = false;
    double minX = std::numeric_limits<double>::infinity(), maxX = -minX;
    for (TLineSeries* series : fSeries) {
        for (const QPointF& p : std::as_const(series->fPoints)) {
            minX = std::min(minX, p.x());
            maxX = std::max(maxX, p.x());
        }
    }
    fHasPoints = minX <= maxX;
    if (!fHasPoints) {
        minX = 0;
        maxX = 1;
    } else if (minX == maxX) {
        minX -= 1;
        maxX += 1;
    }
    fAllLeft = minX;
    fAllRight = maxX;
    CollectAxisLabels();
    ShowView(minX, maxX);
}

void TChart::ShowRange(double left, double right)
{
    const double all = fAllRight - fAllLeft;
    const double span = std::clamp(right - left, std::min(kMinSpan, all), all);
    left = std::clamp(left, fAllLeft, fAllRight - span);
    ShowView(left, left + span);
}

void TChart::ZoomAround(double x, double factor)
{
    if (!(factor > 0))
        return;
    const double span = fRight - fLeft;
    const double share = span > 0 ? std::clamp((x - fLeft) / span, 0.0, 1.0) : 0.5;
    const double narrowed = span / factor;
    ShowRange(x - share * narrowed, x + (1 - share) * narrowed);
}

void TChart::ShowAll() { ShowView(fAllLeft, fAllRight); }

// The series drawn for the view (all of them again when it moved or the plot
// has another width, else those with points not shown yet), the left axis
// fitted to the prices in view, the bottom axis labelled for it.
void TChart::ShowView(double left, double right)
{
    const bool moved = left != fLeft || right != fRight || PlotColumns() != fDrawnColumns;
    fLeft = left;
    fRight = right;
    fAxisX->setRange(left, right);
    if (LeftAxisAutomatic)
        FitLeftAxis();
    // The mark spans the left axis's range, once that is known.
    if (fMark) {
        const bool mark = fMarkSet && fHasPoints && fMarkX >= fAllLeft && fMarkX <= fAllRight;
        if (mark)
            fMark->replace({QPointF(fMarkX, fAxisY->min()), QPointF(fMarkX, fAxisY->max())});
        fMark->setVisible(mark);
    }
    DrawSeries(moved);
    RelabelBottomAxis();
}

// Round bounds around the prices in view, in at most five steps.
void TChart::FitLeftAxis()
{
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const TLineSeries* series : fSeries) {
        const QList<QPointF>& points = series->fPoints;
        const TPointSlice slice = SliceWithin(points, fLeft, fRight);
        for (qsizetype i = slice.First; i < slice.Last; ++i) {
            const QPointF& p = points[i];
            if (slice.Ascending || (p.x() >= fLeft && p.x() <= fRight)) {
                if (std::isfinite(p.y())) {
                    low = std::min(low, p.y());
                    high = std::max(high, p.y());
                }
            }
        }
    }
    const TAxisScale scale = low <= high ? NiceScale(low, high, 5) : TAxisScale{};
    fAxisY->setRange(scale.Min, scale.Max);
    fAxisY->setTickCount(scale.Intervals + 1);
}

// One label per position, ascending: the first series' label where several
// series have a point there, and a series' first label where it has several.
// Series whose X values ascend (as the predictions' do) are merged in one
// pass; otherwise every label is sorted in by position.
void TChart::CollectAxisLabels()
{
    fAxisLabels.clear();
    const auto byX = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    const bool ascending = std::all_of(fSeries.begin(), fSeries.end(), [&](const TLineSeries* series) {
        return std::is_sorted(series->fPoints.begin(), series->fPoints.end(), byX);
    });
    if (!ascending) {
        std::map<double, std::pair<int, qsizetype>> labels;
        for (int s = 0; s < SeriesCount(); ++s) {
            const TLineSeries& series = *fSeries[std::size_t(s)];
            for (qsizetype i = 0; i < series.fPoints.size(); ++i) {
                if (series.HasLabel(i))
                    labels.emplace(series.fPoints[i].x(), std::pair{s, i});   // the first label of a position wins
            }
        }
        for (const auto& [x, at] : labels)
            fAxisLabels.push_back({x, at.first, at.second});
        return;
    }
    std::vector<qsizetype> at(fSeries.size(), 0);   // each series' next point
    std::size_t longest = 0;
    for (const TLineSeries* series : fSeries)
        longest = std::max(longest, std::size_t(series->fPoints.size()));
    fAxisLabels.reserve(longest + 1);
    for (;;) {
        // The lowest position a series' next labelled point stands at; the earliest series wins.
        int lowest = -1;
        double x = 0;
        for (int s = 0; s < SeriesCount(); ++s) {
            const TLineSeries& series = *fSeries[std::size_t(s)];
            qsizetype& i = at[std::size_t(s)];
            while (i < series.fPoints.size() && !series.HasLabel(i))
                ++i;
            if (i < series.fPoints.size() && (lowest < 0 || series.fPoints[i].x() < x)) {
                lowest = s;
                x = series.fPoints[i].x();
            }
        }
        if (lowest < 0)
            break;
        fAxisLabels.push_back({x, lowest, at[std::size_t(lowest)]});
        for (int s = 0; s < SeriesCount(); ++s) {
            const QList<QPointF>& points = fSeries[std::size_t(s)]->fPoints;
            qsizetype& i = at[std::size_t(s)];
            while (i < points.size() && points[i].x() == x)
                ++i;
        }
    }
}

void TChart::DrawSeries(bool all)
{
    fDrawnColumns = PlotColumns();
    for (TLineSeries* series : fSeries) {
        if (all || !series->fShown)
            series->Draw(fLeft, fRight, fDrawnColumns);
    }
}

int TChart::PlotColumns() const { return std::max(1, int(std::ceil(PlotWidth() * devicePixelRatioF()))); }

double TChart::PlotWidth() const
{
    // The plot area is known once the chart has been laid out on screen;
    // before that, estimate it from the view less the axis and the legend.
    return isVisible() && chart()->plotArea().width() > 50 ? chart()->plotArea().width() : std::max(100, width() - 200);
}

void TChart::RelabelBottomAxis()
{
    // Points changed since the labels were collected: the pending update relabels.
    if (fUpdatePending)
        return;
    for (const QString& label : fAxisX->categoriesLabels())
        fAxisX->remove(label);
    // The labels of the positions in view.
    const auto before = [](const TAxisLabel& label, double x) { return label.X < x; };
    const auto first = std::lower_bound(fAxisLabels.begin(), fAxisLabels.end(), fLeft, before);
    const auto last = std::upper_bound(first, fAxisLabels.end(), fRight,
                                       [](double x, const TAxisLabel& label) { return x < label.X; });
    const qsizetype n = last - first;
    fAxisX->setTitleVisible(n > 0);
    if (n == 0) {
        fLabelStep = 1;
        return;
    }
    // Vertical labels stand side by side, each about one text height wide;
    // Qt Charts cuts a label short to an ellipsis unless its neighbours stand
    // some two text heights away.  Show every k-th point's label so that they
    // fit; counted from the first point, so that a label stays on its point
    // while the view pans.
    const int plotWidth = int(PlotWidth());
    const int labelPitch = QFontMetrics(fAxisX->labelsFont()).height() * 2;
    const qsizetype labelCount = std::max(1, plotWidth / std::max(1, labelPitch));
    fLabelStep = int(std::max<qsizetype>(1, (n + labelCount - 1) / labelCount));
    const qsizetype from = first - fAxisLabels.begin(), to = last - fAxisLabels.begin();
    qsizetype i = (from + fLabelStep - 1) / fLabelStep * fLabelStep;
    if (i >= to)
        i = from;
    fAxisX->setStartValue(fAxisLabels[std::size_t(i)].X - 1);
    for (; i < to; i += fLabelStep) {
        const TAxisLabel& label = fAxisLabels[std::size_t(i)];
        const TLineSeries& series = *fSeries[std::size_t(label.Series)];
        fAxisX->append(series.LabelAt(label.Index), label.X);
    }
}

bool TChart::event(QEvent* e)
{
    const bool handled = QChartView::event(e);
    if (e->type() == QEvent::Paint)
        PaintFocusFrame(this);
    return handled;
}

void TChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    RelabelBottomAxis();
}

double TChart::PositionAt(const QPointF& viewportPoint) const
{
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(viewportPoint.toPoint()));
    const double share = plot.width() > 0 ? (at.x() - plot.left()) / plot.width() : 0.5;
    return fLeft + share * (fRight - fLeft);
}

QString TChart::PointsText(double x) const
{
    QString date;
    QStringList values;
    for (const TLineSeries* series : fSeries) {
        const qsizetype i = series->IndexNear(x);
        if (i < 0)
            continue;
        if (date.isEmpty())
            date = series->LabelAt(i);
        values << series->Title() + QStringLiteral(": ") + FormatPrice(series->fPoints[i].y());
    }
    if (values.isEmpty())
        return {};
    if (!date.isEmpty())
        values.prepend(date);
    return values.join(QLatin1Char('\n'));
}

void TChart::ShowTip(const QPoint& viewportPoint)
{
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(viewportPoint));
    const QString text = plot.contains(at) ? PointsText(std::round(PositionAt(viewportPoint))) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    const QRect area = mapFromScene(chart()->mapToScene(plot).boundingRect()).boundingRect();
    QToolTip::showText(viewport()->mapToGlobal(viewportPoint), text, viewport(), area);
}

void TChart::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !fHasPoints) {
        QChartView::wheelEvent(event);
        return;
    }
    ZoomAround(PositionAt(event->position()), std::pow(kZoomStep, notches));
    event->accept();
}

void TChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    fDragging = true;
    fDragFrom = event->position();
    fDragLeft = fLeft;
    fDragRight = fRight;
    viewport()->setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    if (fDragging) {
        const double perPixel = (fDragRight - fDragLeft) / std::max(1.0, chart()->plotArea().width());
        const double shift = -(event->position().x() - fDragFrom.x()) * perPixel;
        ShowRange(fDragLeft + shift, fDragRight + shift);
        event->accept();
        return;
    }
    ShowTip(event->position().toPoint());
    QChartView::mouseMoveEvent(event);
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !fDragging) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    fDragging = false;
    viewport()->unsetCursor();
    event->accept();
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mouseDoubleClickEvent(event);
        return;
    }
    ShowAll();
    event->accept();
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    const double middle = (fLeft + fRight) / 2, tenth = (fRight - fLeft) / 10;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomAround(middle, kZoomStep);
        break;
    case Qt::Key_Minus:
        ZoomAround(middle, 1 / kZoomStep);
        break;
    case Qt::Key_Left:
        ShowRange(fLeft - tenth, fRight - tenth);
        break;
    case Qt::Key_Right:
        ShowRange(fLeft + tenth, fRight + tenth);
        break;
    case Qt::Key_Home:
        ShowAll();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

// ---- TPageControl ----------------------------------------------------------------

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent)
{
    setTabBar(new TTabBar(this));
}

void TPageControl::SetOnDrawTab(TDrawTab handler)
{
    fOnDrawTab = handler;
    static_cast<TTabBar*>(tabBar())->SetOnDrawTab(std::move(handler));
}

QBrush TPageControl::TabBrush() const
{
    tabBar()->ensurePolished();   // the style's palette for tab bars applies from here on
    return tabBar()->palette().brush(QPalette::Button);
}

QSize TTabBar::tabSizeHint(int index) const
{
    const QFontMetrics metrics(font());
    // The caption starts 6 pixels in and 3 down; leave as much on the far side.
    return {metrics.horizontalAdvance(tabText(index)) + 16, metrics.height() + 8};
}

void TTabBar::paintEvent(QPaintEvent* event)
{
    if (!fOnDrawTab) {
        QTabBar::paintEvent(event);
        return;
    }
    QStylePainter frame(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        frame.drawControl(QStyle::CE_TabBarTabShape, option);
    }
    frame.end();
    for (int i = 0; i < count(); ++i) {
        // Inside the tab's frame; the surface carries the page control's font and brush.
        const QRect rect = tabRect(i).adjusted(2, 2, -2, 0);
        QPainter canvas(this);
        canvas.setFont(font());
        canvas.setBrush(palette().brush(QPalette::Button));
        canvas.setPen(palette().color(QPalette::ButtonText));
        canvas.setClipRect(rect);
        fOnDrawTab(canvas, i, rect, i == currentIndex());
    }
    // The focused tab bar rings its current tab, around the handler's rectangle.
    if (hasFocus() && currentIndex() >= 0) {
        QPainter ring(this);
        QPen pen(palette().color(QPalette::Highlight), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        ring.setPen(pen);
        ring.drawRect(QRectF(tabRect(currentIndex())).adjusted(1, 1, -1, -1));
    }
}

// ---- TDBGrid -----------------------------------------------------------------------

// Shows the grid's own titles over the query's fields and the cells as their
// columns format them; everything else passes through.
class TGridTitles : public QIdentityProxyModel {
public:
    explicit TGridTitles(TDBGrid* grid) : QIdentityProxyModel(grid), fGrid(grid) {}
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal) {
            if (role == Qt::TextAlignmentRole)
                return int(Qt::AlignCenter);
            if (role == Qt::DisplayRole) {
                const TDBGrid::TColumn* column = fGrid->ColumnOfSection(section);
                if (column && !column->Title.isEmpty())
                    return column->Title;
            }
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        using TFormat = TDBGrid::TFormat;
        if (role == Qt::TextAlignmentRole || role == Qt::DisplayRole) {
            const TFormat format = fGrid->FormatOfSection(index.column());
            if (role == Qt::TextAlignmentRole && format != TFormat::Text)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            if (role == Qt::DisplayRole && format == TFormat::Price)
                return PriceCell(QIdentityProxyModel::data(index, role));
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    // A number or a price text with "#,##0.00"; anything else (NULL, a text
    // that is no price) as it is.
    static QVariant PriceCell(const QVariant& value)
    {
        if (value.isNull())
            return value;
        switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
            return FormatGroupedPrice(value.toDouble());
        default:
            break;
        }
        double price = 0;
        return ReadPriceText(value.toString(), price) ? QVariant(FormatGroupedPrice(price)) : value;
    }
    TDBGrid* fGrid;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), fTitles(new TGridTitles(this))
{
    // The cells show numbers as the program writes them, with a point,
    // whatever the machine's locale (the item delegate formats a REAL field
    // with the view's locale); a price column formats its own.
    setLocale(QLocale::c());
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    setModel(fTitles);
}

TDBGrid::~TDBGrid()
{
    for (const auto& connection : fConnections)
        disconnect(connection);
}

bool TDBGrid::event(QEvent* e)
{
    const bool handled = QTableView::event(e);
    if (e->type() == QEvent::Paint)
        PaintFocusFrame(this);
    return handled;
}

void TDBGrid::SetColumns(std::vector<TColumn> columns)
{
    fColumns = std::move(columns);
    ApplyLayout();
}

void TDBGrid::SetDataSource(TDataSource* source)
{
    for (const auto& connection : fConnections)
        disconnect(connection);
    fConnections.clear();
    fSource = source;
    fQuery = source ? source->DataSet : nullptr;
    fTitles->setSourceModel(fQuery.data());
    if (fQuery) {
        fConnections.push_back(connect(fQuery.data(), &QAbstractItemModel::modelReset, this, [this] { ApplyLayout(); }));
        fConnections.push_back(connect(fQuery.data(), &TQuery::displayWidthsChanged, this, [this] { ApplyLayout(); }));
        fConnections.push_back(connect(fQuery.data(), &TQuery::currentRowChanged, this, [this](int row) { FollowRow(row); }));
    }
    ApplyLayout();
}

TDBGrid::TFormat TDBGrid::FormatOfSection(int section) const
{
    return section >= 0 && std::size_t(section) < fSectionFormats.size() ? fSectionFormats[std::size_t(section)]
                                                                          : TFormat::Text;
}

const TDBGrid::TColumn* TDBGrid::ColumnOfSection(int section) const
{
    if (!fQuery)
        return nullptr;
    const QString field = fQuery->record().fieldName(section);
    for (const TColumn& column : fColumns) {
        if (column.FieldName.compare(field, Qt::CaseInsensitive) == 0)
            return &column;
    }
    return nullptr;
}

void TDBGrid::ApplyLayout()
{
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    fSectionFormats.clear();
    if (!fQuery)
        return;
    const QSqlRecord record = fQuery->record();
    QHeaderView* header = horizontalHeader();
    fSectionFormats.assign(std::size_t(record.count()), TFormat::Text);
    for (int section = 0; section < record.count(); ++section)
        setColumnHidden(section, true);
    // A cell's text has the focus frame's margin and one more pixel on each
    // side, and the grid line after it.
    const int cellMargins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 1;
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    int visual = 0;
    for (const TColumn& column : fColumns) {
        const int section = record.indexOf(column.FieldName);
        if (section < 0)
            continue;
        fSectionFormats[std::size_t(section)] = column.Format;
        setColumnHidden(section, false);
        header->moveSection(header->visualIndex(section), visual++);
        // The display width in characters, never narrower than the title.
        const int stored = std::clamp(fQuery->DisplayWidth(section), 0, MaxDisplayChars);
        const int chars = stored >= 1 ? std::max(stored, column.MinChars) : std::max(8, column.MinChars);
        const int title = header->sectionSizeHint(section);
        setColumnWidth(section, std::max(int(std::ceil(chars * charWidth)) + cellMargins, title));
    }
    FollowRow(fQuery->RecNo());
}

void TDBGrid::FollowRow(int row)
{
    if (!fQuery || row < 0 || row >= fTitles->rowCount())
        return;
    int section = 0;
    if (!fColumns.empty()) {
        const int first = fQuery->record().indexOf(fColumns.front().FieldName);
        if (first >= 0)
            section = first;
    }
    const QModelIndex index = fTitles->index(row, section);
    setCurrentIndex(index);
    scrollTo(index);
}

int TDBGrid::CurrentRecord() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

QString TDBGrid::CellText(int row, const QString& field) const
{
    if (!fQuery)
        return {};
    const QModelIndex index = fTitles->index(row, fQuery->record().indexOf(field));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const auto* delegate = qobject_cast<const QStyledItemDelegate*>(itemDelegateForIndex(index));
    return delegate ? delegate->displayText(index.data(), option.locale) : index.data().toString();
}

QString TDBGrid::VisibleField(int n) const
{
    if (!fQuery)
        return {};
    const int section = horizontalHeader()->logicalIndex(n);
    return isColumnHidden(section) ? QString() : fQuery->record().fieldName(section);
}

QString TDBGrid::VisibleTitle(int n) const
{
    const int section = horizontalHeader()->logicalIndex(n);
    return fTitles->headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
}

int TDBGrid::VisibleWidth(int n) const { return columnWidth(horizontalHeader()->logicalIndex(n)); }
