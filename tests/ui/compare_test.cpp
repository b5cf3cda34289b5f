// "Compare" held (the button or the backslash key) shows the stack before sharpening in the
// same view, zoom and scroll position; let go, exactly the result again, nothing recomputed.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

#include "desktop_fixture.h"
#include "session/compare_picture.h"
#include "ui/picture_view.h"

namespace talvenor {
namespace {

using CompareTest = testing::DesktopFixture;

QImage ImageOf(const Bitmap24& b) {
    return QImage(b.Data(), b.Width(), b.Height(), int(b.Stride()), QImage::Format_BGR888).copy();
}

TEST_F(CompareTest, HoldingCompareShowsTheStackInTheSameViewAndLettingGoTheResult) {
    OpenTinyCapture();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 80), QPointF(100, 80), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(Widget<PictureView>("PreviewImage")->widget(), &press);
    Widget<QPushButton>("AlignStackButton")->click();
    QApplication::processEvents();
    Session& s = session();
    ASSERT_EQ(window().Pages()->currentIndex(), 3);
    s.form.RxSlider3.Value = 60;  // sharpened, so the result is not the stack
    desktop->binder().UserAction(s.form.RxSlider3, Event::Change);
    s.Dispatch("ProcessButton", Event::Click);
    desktop->binder().PushAll();

    struct Page {
        int index;
        const char* view;
        const Bitmap24* result;
    };
    for (const Page page : {Page{3, "ProcessImage", &s.form.ProcessImage.Image}, Page{4, "RotateImage", &s.form.RotateImage.Image}}) {
        SCOPED_TRACE(page.view);
        window().Pages()->setCurrentIndex(page.index);
        QApplication::processEvents();
        auto* view = Widget<PictureView>(page.view);
        auto* compare = Widget<QToolButton>((std::string(page.view) + "Compare").c_str());
        ASSERT_TRUE(view && compare);
        view->SetZoom(4.0);
        QApplication::processEvents();
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() / 2);
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
        const QPoint scrolled = view->ScrollPosition();
        const QImage result = view->ShownImage();
        ASSERT_EQ(result, ImageOf(*page.result));
        const uint64_t generation = page.result->Generation();
        const QImage before = ImageOf(BeforePicture(s));
        ASSERT_NE(before, result);

        // The button, then the key: each shows the stack while held, the result once let go.
        const std::function<void(bool)> holds[] = {
            [&](bool down) {
                QMouseEvent e(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                              Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(compare, &e);
            },
            [&](bool down) {
                QKeyEvent e(down ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Backslash, Qt::NoModifier, "\\");
                QApplication::sendEvent(&window(), &e);
            },
        };
        for (const auto& hold : holds) {
            hold(true);
            QApplication::processEvents();
            EXPECT_TRUE(view->Overriding());
            EXPECT_EQ(view->ShownImage(), before);
            EXPECT_EQ(view->Zoom(), 4.0);
            EXPECT_EQ(view->ScrollPosition(), scrolled);
            hold(false);
            QApplication::processEvents();
            EXPECT_FALSE(view->Overriding());
            EXPECT_EQ(view->ShownImage(), result);
            EXPECT_EQ(view->ScrollPosition(), scrolled);
            EXPECT_EQ(page.result->Generation(), generation);  // kept, not made again
        }
    }
}

}  // namespace
}  // namespace talvenor
