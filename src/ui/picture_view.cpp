#include "ui/picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace talvenor {

namespace {
EventArgs ArgsOf(const QMouseEvent* e) {
    EventArgs a;
    a.X = int(e->position().x());
    a.Y = int(e->position().y());
    switch (e->button() == Qt::NoButton ? Qt::MouseButton(int(e->buttons()) & 0x7) : e->button()) {
        case Qt::LeftButton: a.Button = MouseButton::Left; break;
        case Qt::RightButton: a.Button = MouseButton::Right; break;
        case Qt::MiddleButton: a.Button = MouseButton::Middle; break;
        default: a.Button = MouseButton::None; break;
    }
    a.Shift = e->modifiers() & Qt::ShiftModifier;
    a.Ctrl = e->modifiers() & Qt::ControlModifier;
    a.Alt = e->modifiers() & Qt::AltModifier;
    return a;
}
}  // namespace

// The picture itself: a widget exactly the picture's size, painted from a QImage of the
// bitmap's bytes (no conversion: the rows are already blue, green, red).
class PictureCanvas : public QWidget {
public:
    explicit PictureCanvas(PictureView* view) : view_(view) { setMouseTracking(true); }
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!image.isNull()) p.drawImage(0, 0, image);
    }
    void mousePressEvent(QMouseEvent* e) override { Report(Event::MouseDown, e); }
    void mouseMoveEvent(QMouseEvent* e) override { Report(Event::MouseMove, e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Report(Event::MouseUp, e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { Report(Event::DblClick, e); }

private:
    void Report(Event ev, QMouseEvent* e) {
        if (view_->OnMouse) view_->OnMouse(ev, ArgsOf(e));
    }
    PictureView* view_;
};

PictureView::PictureView(QWidget* parent) : QScrollArea(parent), canvas_(new PictureCanvas(this)) {
    setWidget(canvas_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFrameShape(QFrame::NoFrame);
}

void PictureView::ShowPicture(const Bitmap24& picture, bool force) {
    if (!force && shown_ == &picture && generation_ == picture.Generation() && width_ == picture.Width() &&
        height_ == picture.Height())
        return;
    shown_ = &picture;
    generation_ = picture.Generation();
    width_ = picture.Width();
    height_ = picture.Height();
    if (picture.Empty()) {
        canvas_->image = QImage();
        canvas_->resize(0, 0);
    } else {
        // A copy: the core may resize the bitmap before the next paint reaches us.
        canvas_->image = QImage(picture.Data(), picture.Width(), picture.Height(), int(picture.Stride()),
                                QImage::Format_BGR888)
                             .copy();
        canvas_->resize(picture.Width(), picture.Height());
    }
    canvas_->update();
}

void PictureView::ScrollTo(int x, int y) {
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
}

QPoint PictureView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

}  // namespace talvenor
