#pragma once
// "Compare" above the Wavelet and Final pages' pictures: while it is held (or the backslash key
// is), the picture shows the unsharpened stack in the same place, zoom and scroll position, with
// "Before" over its corner; let go, it shows the result again, as it was kept.
#include <QToolButton>

namespace talvenor {

class Binder;
class PictureView;

class CompareButton : public QToolButton {
public:
    CompareButton(Binder& binder, PictureView* view, QWidget* parent);
    void Hold();
    void LetGo();

private:
    Binder& binder_;
    PictureView* view_;
};

// The pages that compare their picture with the stack (by TabSheet name).
bool PageCompares(const std::string& tabSheet);

}  // namespace talvenor
