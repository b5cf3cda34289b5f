#pragma once
// Shows a Bitmap24 at 1:1 in a scroll area and reports mouse actions in picture pixels.
#include <QScrollArea>
#include <functional>

#include "workspace/bitmap24.h"
#include "workspace/events.h"

namespace talvenor {

class PictureCanvas;

class PictureView : public QScrollArea {
public:
    explicit PictureView(QWidget* parent = nullptr);
    // Shows the picture again when it changed (by generation or size) or when forced.
    void ShowPicture(const Bitmap24& picture, bool force = false);
    // Called with MouseDown, MouseMove, MouseUp and DblClick.
    std::function<void(Event, const EventArgs&)> OnMouse;
    void ScrollTo(int x, int y);
    QPoint ScrollPosition() const;

private:
    PictureCanvas* canvas_;
    const Bitmap24* shown_ = nullptr;
    uint64_t generation_ = ~uint64_t(0);
    int width_ = -1, height_ = -1;
};

}  // namespace talvenor
