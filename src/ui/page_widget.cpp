#include "ui/page_widget.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/binder.h"
#include "ui/compare_button.h"
#include "ui/control_column.h"
#include "ui/picture_view.h"
#include "ui/zoom_bar.h"

namespace talvenor {

std::string MainPictureOf(const std::string& tabSheet) {
    if (tabSheet == "TabSheet1") return "PreviewImage";
    if (tabSheet == "TabSheet2") return "AlignImage";
    if (tabSheet == "TabSheet3") return "Stackimage";
    if (tabSheet == "TabSheet4") return "ProcessImage";
    if (tabSheet == "TabSheet5") return "RotateImage";
    return "";
}

namespace {
// The widest small picture (a graph) among the controls of `container` and its panels: the
// column must be wide enough to show it whole.
int WidestGraph(const Controls& form, const std::string& container) {
    int widest = 0;
    for (Control* c : form.ChildrenOf(container)) {
        if (c->Kind == ControlKind::Picture) {
            const auto* p = static_cast<const Picture*>(c);
            if (p->Width <= 400) widest = std::max(widest, p->Width + kGraphFrameWidth);
        } else if (c->Kind == ControlKind::Panel) {
            widest = std::max(widest, WidestGraph(form, c->Name));
        }
    }
    return widest;
}
bool HasRowPanel(const Controls& form, const std::string& tabSheet) {
    for (const Control* c : form.ChildrenOf(tabSheet))
        if (c->Kind == ControlKind::Panel && static_cast<const Panel*>(c)->Row) return true;
    return false;
}

}  // namespace

PageWidget::PageWidget(Binder& binder, const std::string& tabSheet, const std::string& mainPicture, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QString::fromStdString(tabSheet));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(4);

    if (!mainPicture.empty()) {
        Control& picture = binder.session().form.Get(mainPicture);
        if (QWidget* view = binder.CreateWidget(picture, this)) {
            view->setMinimumSize(160, 120);
            view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            auto* side = new QVBoxLayout();
            side->setSpacing(2);
            if (auto* pictureView = dynamic_cast<PictureView*>(view)) {
                pictureView->SetZoomable(true);
                auto* zoom = new ZoomBar(pictureView, this);
                if (PageCompares(tabSheet)) zoom->AddTool(new CompareButton(binder, pictureView, zoom));
                side->addWidget(zoom);
            }
            side->addWidget(view, 1);
            row->addLayout(side, 1);
        }
    }

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* column = new QWidget(scroll);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->setSpacing(3);
    AddControlsOf(binder, tabSheet, column, layout, {mainPicture});
    layout->addStretch(1);
    scroll->setWidget(column);
    if (mainPicture.empty()) {
        row->addWidget(scroll, 1);
    } else {
        // Wide enough for the page's graphs (the stack graph is 307 pixels wide), and for rows
        // of controls side by side (a layer's switch, gain and preview button).
        const int least = HasRowPanel(binder.session().form, tabSheet) ? 300 : 200;
        scroll->setFixedWidth(std::max(least, WidestGraph(binder.session().form, tabSheet) + 24));
        row->addWidget(scroll);
    }
}

}  // namespace talvenor
