#include "ui/wheel_guard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QWheelEvent>

namespace talvenor {

namespace {
// The value control `w` belongs to (a spin box's line edit belongs to the spin box), or null.
QWidget* ValueControlOf(QWidget* w) {
    for (QWidget* p = w; p; p = p->parentWidget()) {
        if (qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p)) return p;
        // Scroll bars are sliders too, and the wheel is what they are for.
        if (qobject_cast<QAbstractSlider*>(p) && !qobject_cast<QScrollBar*>(p)) return p;
        if (p->isWindow()) break;
    }
    return nullptr;
}
}  // namespace

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Polish) {
        // The default wheel focus would hand the focus over before the wheel event arrives.
        if (auto* w = qobject_cast<QWidget*>(watched); w && ValueControlOf(w) == w &&
                                                       w->focusPolicy() == Qt::WheelFocus)
            w->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (event->type() != QEvent::Wheel) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    QWidget* control = ValueControlOf(w);
    if (!control || control->hasFocus()) return false;
    // Hand the wheel to the scroll area around the control, as if the control were not there.
    for (QWidget* p = control->parentWidget(); p; p = p->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(p)) {
            QScrollBar* bar = static_cast<QWheelEvent*>(event)->angleDelta().y() != 0 ? area->verticalScrollBar()
                                                                                       : area->horizontalScrollBar();
            if (bar && bar->isVisible()) QApplication::sendEvent(bar, event);
            break;
        }
        if (p->isWindow()) break;
    }
    event->accept();
    return true;
}

}  // namespace talvenor
