#pragma once
// Shows a Bitmap24 in a scroll area, at 1:1 or zoomed, and reports mouse actions in picture
// pixels whatever the zoom, so a pick, a processing area or a crop lands on the same pixel.
#include <QScrollArea>
#include <functional>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/control_kinds.h"
#include "workspace/events.h"
#include "workspace/graph_frame.h"

namespace talvenor {

class PictureCanvas;

class PictureView : public QScrollArea {
public:
    explicit PictureView(QWidget* parent = nullptr);
    // Shows the picture again when it changed (by generation or size) or when forced.
    void ShowPicture(const Bitmap24& picture, bool force = false);
    // A graph: the data picture with its axes and legend around it (composed by the core);
    // mouse positions stay the data picture's. Without axes, the same as ShowPicture. A graph
    // of a fixed size (`fixedSize`) takes the framed picture's size.
    void ShowGraph(const Bitmap24& data, const GraphAxes& axes, bool fixedSize);
    // Shows `other` in place of the picture, at the same zoom and scroll position, with `caption`
    // written over its corner, until EndOverride; pictures the view is given meanwhile wait, and
    // the mouse does nothing on it. Ending shows the view's own picture again as it was kept.
    void ShowOverride(const Bitmap24& other, const QString& caption);
    void EndOverride();
    bool Overriding() const { return overriding_; }
    // What the view shows now (its own picture or the override), for tests.
    const QImage& ShownImage() const;
    // Outlines drawn over the picture (never into it), in picture pixels.
    void SetBoxes(const std::vector<Picture::Box>& boxes);
    // Called with MouseDown, MouseMove, MouseUp and DblClick.
    std::function<void(Event, const EventArgs&)> OnMouse;
    // Scroll positions in picture pixels.
    void ScrollTo(int x, int y);
    QPoint ScrollPosition() const;

    // Zoom: a fixed factor, or fitting the whole picture into the viewport. Only zoomable
    // views (the pages' main pictures) take Ctrl + wheel; graphs stay at their size.
    void SetZoom(double factor);
    void SetFit();
    double Zoom() const { return zoom_; }
    bool Fitting() const { return fit_; }
    void SetZoomable(bool on) { zoomable_ = on; }
    // Called after the zoom changed (also when fitting follows a resize).
    std::function<void()> OnZoomChanged;
    // Called when the part shown moved or changed size: its corner and size in picture pixels.
    std::function<void(int x, int y, int width, int height)> OnViewMoved;
    // The canvas position of picture pixel (x, y) (its top-left corner), for tests and tools.
    QPoint CanvasPointOf(int x, int y) const;

    // The zoom steps Ctrl + wheel walks through.
    static constexpr double kZoomSteps[] = {0.25, 0.5, 1.0, 2.0, 4.0};

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    friend class PictureCanvas;
    void ApplyZoom();
    void ReportView();
    void Display(const Bitmap24& picture);
    PictureCanvas* canvas_;
    const Bitmap24* shown_ = nullptr;
    const Bitmap24* own_ = nullptr;  // the picture last given to ShowPicture
    bool overriding_ = false;
    // The framed graph shown, what it was made from, and where the data sits in it.
    Bitmap24 framed_;
    GraphAxes framedAxes_;
    uint64_t framedFrom_ = ~uint64_t(0);
    QPoint origin_;
    uint64_t generation_ = ~uint64_t(0);
    int width_ = -1, height_ = -1;
    double zoom_ = 1.0;
    bool fit_ = false;
    bool zoomable_ = false;
};

}  // namespace talvenor
