#include "ui/tool_window_widget.h"

#include <QCloseEvent>
#include <QMoveEvent>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/binder.h"
#include "ui/control_column.h"

namespace talvenor {

ToolWindowWidget::ToolWindowWidget(Binder& binder, ToolWindow& window, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), binder_(binder), window_(window) {
    setObjectName(QString::fromStdString(window.Name));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    if (!AddControlsOf(binder, window.Name, content, layout)) layout->addStretch(1);
    scroll->setWidget(content);
    outer->addWidget(scroll);
    resize(window.Width, window.Height);
    binder.Bind(window, this, [this] { Push(); });
}

void ToolWindowWidget::Push() {
    setWindowTitle(QString::fromStdString(window_.Caption));
    placing_ = true;
    if (pos() != QPoint(window_.Left, window_.Top)) move(window_.Left, window_.Top);
    placing_ = false;
    if (isVisible() != window_.Visible) setVisible(window_.Visible);
}

void ToolWindowWidget::closeEvent(QCloseEvent* event) {
    event->accept();
    if (window_.Visible) binder_.UserAction(window_, Event::Close);
}

void ToolWindowWidget::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (placing_ || !isVisible()) return;
    const QPoint p = pos();
    if (p.x() == window_.Left && p.y() == window_.Top) return;
    window_.Left = p.x();
    window_.Top = p.y();
    binder_.UserAction(window_, Event::Moved);
}

}  // namespace talvenor
