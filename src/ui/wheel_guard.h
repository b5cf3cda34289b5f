#pragma once
// Keeps the mouse wheel from changing values by accident: over a spin box, combo box or
// slider that does not have the keyboard focus, the wheel scrolls the column around it
// instead. Such controls no longer take the focus from the wheel either; a click or Tab
// gives it. Installed once on the application.
#include <QObject>

namespace talvenor {

class WheelGuard : public QObject {
public:
    explicit WheelGuard(QObject* parent = nullptr) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace talvenor
