#include "ui/zoom_bar.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <cmath>

#include "ui/picture_view.h"

namespace talvenor {

namespace {
struct ZoomChoice {
    const char* text;
    double zoom;  // 0 = fit
    const char* tip;
};
constexpr ZoomChoice kChoices[] = {
    {"Fit", 0.0, "Show the whole picture in the window"},
    {"50 %", 0.5, "Show the picture at half size"},
    {"100 %", 1.0, "Show every picture pixel as one screen pixel"},
    {"200 %", 2.0, "Show the picture at twice its size"},
};
}  // namespace

ZoomBar::ZoomBar(PictureView* view, QWidget* parent)
    : QWidget(parent), view_(view), group_(new QButtonGroup(this)), shown_(new QLabel(this)) {
    setObjectName(view->objectName() + "Zoom");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    auto* caption = new QLabel("Zoom", this);
    row->addWidget(caption);
    group_->setExclusive(true);
    for (int i = 0; i < int(std::size(kChoices)); ++i) {
        auto* b = new QToolButton(this);
        b->setText(kChoices[i].text);
        b->setToolTip(kChoices[i].tip);
        b->setCheckable(true);
        b->setAutoRaise(true);
        group_->addButton(b, i);
        row->addWidget(b);
    }
    // The zoom in use reads as a value, not as one more button: a rule between, and room for
    // "400 %" so the row does not shift as it changes.
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::VLine);
    rule->setFrameShadow(QFrame::Sunken);
    row->addSpacing(6);
    row->addWidget(rule);
    row->addSpacing(6);
    shown_->setObjectName(objectName() + "Shown");
    shown_->setToolTip("The zoom in use; Ctrl + mouse wheel over the picture changes it");
    shown_->setMinimumWidth(shown_->fontMetrics().horizontalAdvance(QStringLiteral("400 %")) + 4);
    row->addWidget(shown_);
    row->addStretch(1);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        const ZoomChoice& c = kChoices[id];
        if (c.zoom == 0.0)
            view_->SetFit();
        else
            view_->SetZoom(c.zoom);
        Show();
    });
    view_->OnZoomChanged = [this] { Show(); };
    Show();
}

void ZoomBar::AddTool(QWidget* tool) {
    tool->setParent(this);
    layout()->addWidget(tool);
}

void ZoomBar::Show() {
    int checked = -1;
    for (int i = 0; i < int(std::size(kChoices)); ++i)
        if ((kChoices[i].zoom == 0.0 && view_->Fitting()) || (!view_->Fitting() && kChoices[i].zoom == view_->Zoom()))
            checked = i;
    if (checked >= 0) {
        group_->button(checked)->setChecked(true);
    } else if (QAbstractButton* b = group_->checkedButton()) {
        // A zoom between the buttons (Ctrl + wheel to 25 % or 400 %): none is pressed.
        group_->setExclusive(false);
        b->setChecked(false);
        group_->setExclusive(true);
    }
    shown_->setText(QString::number(std::nearbyint(view_->Zoom() * 100.0)) + " %");
}

}  // namespace talvenor
