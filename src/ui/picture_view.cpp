#include "ui/picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace talvenor {

namespace {
EventArgs ArgsOf(const QMouseEvent* e, double zoom, QPoint origin) {
    EventArgs a;
    // The pixel under the pointer: floor, so every canvas point inside a zoomed pixel maps to it.
    a.X = int(std::floor(e->position().x() / zoom)) - origin.x();
    a.Y = int(std::floor(e->position().y() / zoom)) - origin.y();
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

// The picture itself: a widget the picture's size times the zoom, painted from a QImage of the
// bitmap's bytes (no conversion: the rows are already blue, green, red).
class PictureCanvas : public QWidget {
public:
    explicit PictureCanvas(PictureView* view) : view_(view) { setMouseTracking(true); }
    QImage image;
    std::vector<Picture::Box> boxes;
    QString caption;  // written over the top-left corner of the viewport (the override's name)

protected:
    void paintEvent(QPaintEvent*) override {
        if (image.isNull()) return;
        QPainter p(this);
        PaintPicture(p);
        PaintCaption(p);
    }
    void PaintPicture(QPainter& p) {
        const double zoom = view_->zoom_;
        if (zoom != 1.0) {
            // Enlarged pixels stay sharp squares; reduced pictures are smoothed.
            p.setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1.0);
            p.scale(zoom, zoom);
        }
        p.drawImage(0, 0, image);
        if (boxes.empty()) return;
        // One screen pixel wide at any zoom, green so it stands out on a grey or colour stack.
        QPen pen(QColor(0, 230, 90));
        pen.setCosmetic(true);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        for (const Picture::Box& b : boxes) p.drawRect(QRectF(b.Left, b.Top, b.Size, b.Size));
    }
    // Painted after the picture, on the screen's pixels, where the user is looking: the corner
    // of the part shown, whatever the scroll position and zoom.
    void PaintCaption(QPainter& p) {
        if (caption.isEmpty()) return;
        p.resetTransform();
        const QPoint corner(view_->horizontalScrollBar()->value() + 6, view_->verticalScrollBar()->value() + 6);
        QFont font = p.font();
        font.setBold(true);
        p.setFont(font);
        const QRect box = p.fontMetrics().boundingRect(caption).adjusted(-6, -3, 6, 3);
        const QRect at(corner, box.size());
        p.fillRect(at, QColor(0, 0, 0, 170));
        p.setPen(QColor(255, 220, 80));
        p.drawText(at, Qt::AlignCenter, caption);
    }
    void mousePressEvent(QMouseEvent* e) override { Report(Event::MouseDown, e); }
    void mouseMoveEvent(QMouseEvent* e) override { Report(Event::MouseMove, e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Report(Event::MouseUp, e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { Report(Event::DblClick, e); }

private:
    void Report(Event ev, QMouseEvent* e) {
        // A press on a picture that is not the page's own (the compare view) must not crop or pick it.
        if (view_->OnMouse && !view_->overriding_) view_->OnMouse(ev, ArgsOf(e, view_->zoom_, view_->origin_));
    }
    PictureView* view_;
};

PictureView::PictureView(QWidget* parent) : QScrollArea(parent), canvas_(new PictureCanvas(this)) {
    setWidget(canvas_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFrameShape(QFrame::NoFrame);
    // The caption over the corner stays in the corner: the scrolled canvas is painted again.
    const auto scrolled = [this] {
        if (overriding_) canvas_->update();
        ReportView();
    };
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
}

void PictureView::ShowPicture(const Bitmap24& picture, bool force) {
    own_ = &picture;
    if (overriding_) return;  // shown when the override ends
    if (!force && shown_ == &picture && generation_ == picture.Generation() && width_ == picture.Width() &&
        height_ == picture.Height())
        return;
    Display(picture);
}

void PictureView::Display(const Bitmap24& picture) {
    const bool resized = width_ != picture.Width() || height_ != picture.Height();
    shown_ = &picture;
    generation_ = picture.Generation();
    width_ = picture.Width();
    height_ = picture.Height();
    if (picture.Empty()) {
        canvas_->image = QImage();
    } else {
        // A copy: the core may resize the bitmap before the next paint reaches us.
        canvas_->image = QImage(picture.Data(), picture.Width(), picture.Height(), int(picture.Stride()),
                                QImage::Format_BGR888)
                             .copy();
    }
    if (resized || fit_) ApplyZoom();
    canvas_->update();
}

void PictureView::ShowGraph(const Bitmap24& data, const GraphAxes& axes, bool fixedSize) {
    if (axes.Empty()) {
        origin_ = {};
        ShowPicture(data);
        return;
    }
    if (framedFrom_ != data.Generation() || !(framedAxes_ == axes) || framed_.Empty() ||
        framed_.Width() <= data.Width() || framed_.Height() <= data.Height()) {
        framed_ = FramedGraph(data, axes);
        framedAxes_ = axes;
        framedFrom_ = data.Generation();
        const GraphMargins m = MarginsOf(axes, data.Width());
        origin_ = {m.Left, m.Top};
        if (fixedSize) setFixedSize(framed_.Width(), framed_.Height());
    }
    ShowPicture(framed_);
}

void PictureView::ShowOverride(const Bitmap24& other, const QString& caption) {
    overriding_ = true;
    canvas_->caption = caption;
    Display(other);
}

void PictureView::EndOverride() {
    if (!overriding_) return;
    overriding_ = false;
    canvas_->caption.clear();
    if (own_) Display(*own_);
    else canvas_->update();
}

const QImage& PictureView::ShownImage() const { return canvas_->image; }

void PictureView::SetBoxes(const std::vector<Picture::Box>& boxes) {
    if (boxes.size() == canvas_->boxes.size() &&
        std::equal(boxes.begin(), boxes.end(), canvas_->boxes.begin(), [](const Picture::Box& a, const Picture::Box& b) {
            return a.Left == b.Left && a.Top == b.Top && a.Size == b.Size;
        }))
        return;
    canvas_->boxes = boxes;
    canvas_->update();
}

void PictureView::SetZoom(double factor) {
    fit_ = false;
    zoom_ = std::clamp(factor, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
    ApplyZoom();
}

void PictureView::SetFit() {
    fit_ = true;
    ApplyZoom();
}

void PictureView::ApplyZoom() {
    const QImage& image = canvas_->image;
    const double before = zoom_;
    if (fit_ && !image.isNull()) {
        const QSize room = maximumViewportSize();
        zoom_ = std::min(double(room.width()) / image.width(), double(room.height()) / image.height());
        zoom_ = std::clamp(zoom_, 0.05, kZoomSteps[std::size(kZoomSteps) - 1]);
    }
    const QSize size = image.isNull() ? QSize(0, 0)
                                      : QSize(int(std::ceil(image.width() * zoom_)), int(std::ceil(image.height() * zoom_)));
    if (canvas_->size() != size) canvas_->resize(size);
    canvas_->update();
    if (before != zoom_ && OnZoomChanged) OnZoomChanged();
    if (before != zoom_) ReportView();
}

QPoint PictureView::CanvasPointOf(int x, int y) const {
    return {int(std::floor(x * zoom_)), int(std::floor(y * zoom_))};
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (fit_) ApplyZoom();
    ReportView();
}

void PictureView::wheelEvent(QWheelEvent* event) {
    if (!zoomable_ || !(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    const int steps = event->angleDelta().y() > 0 ? 1 : (event->angleDelta().y() < 0 ? -1 : 0);
    if (steps == 0) return;
    // The next step above or below the current zoom (fitting may sit between two steps).
    double next = zoom_;
    if (steps > 0) {
        for (double z : kZoomSteps)
            if (z > zoom_ + 1e-9) { next = z; break; }
    } else {
        for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
            if (*it < zoom_ - 1e-9) { next = *it; break; }
    }
    SetZoom(next);
}

void PictureView::ScrollTo(int x, int y) {
    horizontalScrollBar()->setValue(int(std::floor(x * zoom_)));
    verticalScrollBar()->setValue(int(std::floor(y * zoom_)));
}

void PictureView::ReportView() {
    if (!OnViewMoved) return;
    const QPoint corner = ScrollPosition();
    const QSize room = viewport()->size();
    OnViewMoved(corner.x(), corner.y(), int(std::ceil(room.width() / zoom_)), int(std::ceil(room.height() / zoom_)));
}

QPoint PictureView::ScrollPosition() const {
    return {int(std::floor(horizontalScrollBar()->value() / zoom_)), int(std::floor(verticalScrollBar()->value() / zoom_))};
}

}  // namespace talvenor
