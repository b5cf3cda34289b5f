#include "ui/compare_button.h"

#include "session/compare_picture.h"
#include "ui/binder.h"
#include "ui/picture_view.h"

namespace talvenor {

bool PageCompares(const std::string& tabSheet) { return tabSheet == "TabSheet4" || tabSheet == "TabSheet5"; }

CompareButton::CompareButton(Binder& binder, PictureView* view, QWidget* parent)
    : QToolButton(parent), binder_(binder), view_(view) {
    setObjectName(view->objectName() + "Compare");
    setText("Compare");
    setToolTip("Hold (or hold the \\ key) to see the stack before sharpening in the same place");
    connect(this, &QToolButton::pressed, this, [this] { Hold(); });
    connect(this, &QToolButton::released, this, [this] { LetGo(); });
}

void CompareButton::Hold() {
    // While a pass runs the stack is being remade; there is nothing steady to compare with.
    if (binder_.Busy() || view_->Overriding()) return;
    const Bitmap24 before = BeforePicture(binder_.session());
    if (before.Empty()) return;
    view_->ShowOverride(before, "Before");
    setDown(true);
}

void CompareButton::LetGo() {
    view_->EndOverride();
    setDown(false);
}

}  // namespace talvenor
