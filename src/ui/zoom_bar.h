#pragma once
// The zoom buttons above a page's picture: Fit, 50 %, 100 %, 200 %, and, set apart from them,
// the zoom in use (Ctrl + wheel over the picture walks the same steps). Tools of the picture
// (the compare button) sit at the row's right end.
#include <QWidget>

class QButtonGroup;
class QLabel;

namespace talvenor {

class PictureView;

class ZoomBar : public QWidget {
public:
    ZoomBar(PictureView* view, QWidget* parent);
    void AddTool(QWidget* tool);

private:
    void Show();
    PictureView* view_;
    QButtonGroup* group_;
    QLabel* shown_;
};

}  // namespace talvenor
