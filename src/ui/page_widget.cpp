#include "ui/page_widget.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/binder.h"
#include "ui/control_column.h"

namespace talvenor {

std::string MainPictureOf(const std::string& tabSheet) {
    if (tabSheet == "TabSheet1") return "PreviewImage";
    if (tabSheet == "TabSheet2") return "AlignImage";
    if (tabSheet == "TabSheet3") return "Stackimage";
    if (tabSheet == "TabSheet4") return "ProcessImage";
    if (tabSheet == "TabSheet5") return "RotateImage";
    return "";
}

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
            row->addWidget(view, 1);
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
        scroll->setFixedWidth(200);
        row->addWidget(scroll);
    }
}

}  // namespace talvenor
