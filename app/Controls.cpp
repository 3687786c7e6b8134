// PLACEHOLDER
#include "app/Controls.h"
#include <QLabel>
#include <QtCharts/QLineSeries>
TPanel::TPanel(const QString&, QWidget* p) : QFrame(p), fLabel(new QLabel(this)) {}
QString TPanel::Caption() const { return fLabel->text(); }
void TPanel::SetCaption(const QString& c) { fLabel->setText(c); }
TMemo::TMemo(QWidget* p) : QPlainTextEdit(p) {}
void TMemo::Add(const QString& l) { appendPlainText(l); emit lineAdded(l); }
QStringList TMemo::Lines() const { return toPlainText().split('\n'); }
void TLineSeries::Clear() {}
void TLineSeries::AddXY(double, double, const QString&) {}
int TLineSeries::Count() const { return 0; }
double TLineSeries::XValue(int) const { return 0; }
double TLineSeries::YValue(int) const { return 0; }
QString TLineSeries::Label(int) const { return {}; }
TChart::TChart(QWidget* p) : QChartView(p) {}
TChart::~TChart() = default;
TLineSeries* TChart::Series(int i) { return fSeries.at(i); }
TLineSeries* TChart::AddLineSeries() { return nullptr; }
void TChart::SetTitle(const QString&) {}
QString TChart::Title() const { return {}; }
void TChart::UpdateAxes() {}
TPageControl::TPageControl(QWidget* p) : QTabWidget(p) {}
void TPageControl::SetOnDrawTab(TDrawTab) {}
TDBGrid::TDBGrid(QWidget* p) : QTableView(p) {}
void TDBGrid::SetColumns(std::vector<TColumn> c) { fColumns = std::move(c); }
void TDBGrid::SetDataSource(TDataSource* s) { fSource = s; }
void TDBGrid::ApplyLayout() {}
