#include "ui/tool_window_widget.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/binder.h"
#include "ui/control_column.h"

namespace talvenor {

namespace {
// A window's place on some screen: where it was when its title bar is still on one (enough of
// it to take hold of), else pulled into the nearest screen's free area (a place remembered from
// a larger or second monitor that is gone would leave it where nobody can reach it).
QPoint OnSomeScreen(QPoint at, QSize size) {
    const QRect title(at, QSize(std::max(size.width(), 1), 24));
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect seen = title.intersected(screen->availableGeometry());
        if (seen.width() >= std::min(60, title.width()) && seen.height() >= 12) return at;
    }
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return at;
    const QRect free = screen->availableGeometry();
    return {std::clamp(at.x(), free.left(), std::max(free.left(), free.right() + 1 - size.width())),
            std::clamp(at.y(), free.top(), std::max(free.top(), free.bottom() + 1 - size.height()))};
}
}  // namespace

ToolWindowWidget::ToolWindowWidget(Binder& binder, ToolWindow& window, QWidget* owner)
    : QDockWidget(owner), binder_(binder), window_(window) {
    setObjectName(QString::fromStdString(window.Name));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    if (!AddControlsOf(binder, window.Name, content, layout)) layout->addStretch(1);
    scroll->setWidget(content);
    setWidget(scroll);
    resize(window.Width, window.Height);
    sizeSet_ = QSize(window.Width, window.Height);
    // Docked, the window is at least as wide as its widest fixed control (a graph) and the
    // scroll bar beside it need, so nothing is cut off on the right; wider windows (a picture)
    // are left to scroll.
    const int needed = content->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width();
    scroll->setMinimumWidth(std::min(std::max(std::min(window.Width, 240), needed), 420));
    connect(this, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        if (floating) ReportPosition();
    });
    binder.Bind(window, this, [this] { Push(); });
}

void ToolWindowWidget::Push() {
    const QString title = QString::fromStdString(window_.Caption);
    if (windowTitle() != title) setWindowTitle(title);
    if (isFloating()) {
        // The control takes the corrected place, so the settings keep one that can be reached.
        const QPoint reachable = OnSomeScreen(QPoint(window_.Left, window_.Top), QSize(window_.Width, window_.Height));
        window_.Left = reachable.x();
        window_.Top = reachable.y();
    }
    if (isFloating() && pos() != QPoint(window_.Left, window_.Top)) {
        placing_ = true;
        move(window_.Left, window_.Top);
        placing_ = false;
    }
    // Only a size the program set is applied: one the dock layout restored stays until then.
    const QSize wanted(window_.Width, window_.Height);
    if (wanted != sizeSet_) {
        sizeSet_ = wanted;
        if (isFloating() && size() != wanted) {
            placing_ = true;
            resize(wanted);
            placing_ = false;
        }
    }
    const bool shown = window_.Visible && !keepHidden_;
    if (isVisible() != shown) setVisible(shown);
}

void ToolWindowWidget::FollowOwner(QPoint delta) {
    if (!isFloating() || delta.isNull()) return;
    move(pos() + delta);  // reported by moveEvent when shown
    if (!isVisible()) {
        window_.Left += delta.x();
        window_.Top += delta.y();
    }
}

void ToolWindowWidget::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    event->accept();
    if (window_.Visible) binder_.UserAction(window_, Event::Close);
}

void ToolWindowWidget::moveEvent(QMoveEvent* event) {
    QDockWidget::moveEvent(event);
    if (placing_ || !isVisible() || !isFloating()) return;
    ReportPosition();
}

void ToolWindowWidget::resizeEvent(QResizeEvent* event) {
    QDockWidget::resizeEvent(event);
    // Docked, the size is the dock area's, not the window's own.
    if (placing_ || !isVisible() || !isFloating()) return;
    const QSize now = size();
    if (now.width() == window_.Width && now.height() == window_.Height) return;
    window_.Width = now.width();
    window_.Height = now.height();
    sizeSet_ = now;
    binder_.UserAction(window_, Event::Resized);
}

void ToolWindowWidget::ReportPosition() {
    const QPoint p = pos();
    if (p.x() == window_.Left && p.y() == window_.Top) return;
    window_.Left = p.x();
    window_.Top = p.y();
    binder_.UserAction(window_, Event::Moved);
}

}  // namespace talvenor
