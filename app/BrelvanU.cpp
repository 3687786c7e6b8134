// PLACEHOLDER
#include "app/BrelvanU.h"
#include "app/Errors.h"
#include <QEvent>
TBrelvanF* BrelvanF = nullptr;
QString& TSlots::operator[](int i) { if (i < 1 || i > Count) throw ERangeError("範囲外"); return fSlots[i - 1]; }
const QString& TSlots::operator[](int i) const { if (i < 1 || i > Count) throw ERangeError("範囲外"); return fSlots[i - 1]; }
TBrelvanF::TBrelvanF(QWidget* p) : QWidget(p) {}
TBrelvanF::~TBrelvanF() = default;
void TBrelvanF::pcDrawTab(QPainter&, int, const QRect&, bool) {}
void TBrelvanF::FormActivate() {}
void TBrelvanF::FormDestroy() {}
void TBrelvanF::a04RdBEnter() {}
void TBrelvanF::a04RdBExit() {}
bool TBrelvanF::event(QEvent* e) { return QWidget::event(e); }
bool TBrelvanF::eventFilter(QObject* w, QEvent* e) { return QWidget::eventFilter(w, e); }
