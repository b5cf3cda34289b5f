#include "ui/control_column.h"

#include <QFrame>
#include <QToolButton>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/binder.h"

namespace talvenor {

namespace {

// A panel: a header button that folds the body away, as the panel's Expand says.
QWidget* MakePanel(Binder& binder, Panel& panel, QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(panel.Row ? 0 : 4, panel.Row ? 0 : 2, panel.Row ? 0 : 4, panel.Row ? 0 : 4);
    layout->setSpacing(2);
    auto* header = new QToolButton(frame);
    header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    header->setAutoRaise(true);
    header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout->addWidget(header);
    auto* body = new QWidget(frame);
    QBoxLayout* bodyLayout = panel.Row ? static_cast<QBoxLayout*>(new QHBoxLayout(body)) : new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(panel.Row ? 4 : 2);
    AddControlsOf(binder, panel.Name, body, bodyLayout);
    layout->addWidget(body);
    QObject::connect(header, &QToolButton::clicked, &binder, [&binder, &panel] {
        panel.Expand = !panel.Expand;
        binder.UserAction(panel, Event::Click);
    });
    binder.Bind(panel, frame, [frame, header, body, &panel] {
        header->setText(QString::fromStdString(panel.Caption));
        header->setVisible(!panel.Caption.empty());
        frame->setFrameShape(panel.Caption.empty() ? QFrame::NoFrame : QFrame::StyledPanel);
        header->setArrowType(panel.Expand ? Qt::DownArrow : Qt::RightArrow);
        // A panel without a header cannot be folded: it always shows its controls.
        body->setVisible(panel.Expand || panel.Caption.empty());
    });
    frame->setObjectName(QString::fromStdString(panel.Name));
    return frame;
}

}  // namespace

bool AddControlsOf(Binder& binder, const std::string& container, QWidget* parent, QBoxLayout* layout,
                   const std::set<std::string>& skip) {
    bool expanding = false;
    for (Control* c : binder.session().form.ChildrenOf(container)) {
        if (skip.count(c->Name)) continue;
        QWidget* w = c->Kind == ControlKind::Panel ? MakePanel(binder, static_cast<Panel&>(*c), parent)
                                                   : binder.CreateWidget(*c, parent);
        if (!w) continue;
        // A picture without a size of its own (the resized picture) takes the spare room too.
        const bool freePicture = c->Kind == ControlKind::Picture && static_cast<const Picture*>(c)->Width <= 0;
        const bool grows = c->Kind == ControlKind::Memo || c->Kind == ControlKind::ListBox ||
                           c->Kind == ControlKind::CheckListBox || freePicture;
        // In a row the slider takes the width the check box and the button leave.
        const bool row = layout->direction() == QBoxLayout::LeftToRight;
        if (row && c->Kind == ControlKind::Button) w->setMaximumWidth(48);
        layout->addWidget(w, grows || (row && c->Kind == ControlKind::Slider) ? 1 : 0);
        expanding = expanding || grows;
    }
    return expanding;
}

}  // namespace talvenor
