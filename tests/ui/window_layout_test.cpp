// The desktop window as a workplace: tool windows docked beside the picture, a window that
// grows, zoom that keeps clicks on their pixel, a wheel that changes nothing by accident,
// the status bar and the keys.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTabWidget>
#include <QWheelEvent>
#include <fstream>

#include "capture/capture.h"
#include "session/input_selection.h"
#include "support/temp_dir.h"
#include "desktop_fixture.h"
#include "ui/binder.h"
#include "ui/desktop_app.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"
#include "ui/status_line.h"
#include "ui/tool_window_widget.h"

namespace talvenor {
namespace {

class WindowLayoutTest : public testing::DesktopFixture {
protected:
    void Start() { StartDesktop(); }
    void OpenCapture() { OpenTinyCapture(); }
    void Click(PictureView* view, QPoint at) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view->widget(), &press);
    }
    // The visible part of a picture, in main-window coordinates.
    QRect ViewportOf(PictureView* view) {
        QWidget* vp = view->viewport();
        return QRect(vp->mapTo(&window(), QPoint(0, 0)), vp->size());
    }
};

TEST_F(WindowLayoutTest, TheWindowResizesAndMaximisesAndFitsANetbooksScreen) {
    // 1024 x 600 with room for a title bar: every page's controls scroll in what is left.
    EXPECT_LE(window().minimumWidth(), 1024);
    EXPECT_LE(window().minimumHeight() + 30, 600);
    EXPECT_GT(window().maximumWidth(), 1024);
    EXPECT_TRUE(window().windowFlags() & Qt::WindowMaximizeButtonHint);
    window().resize(800, 400);
    QApplication::processEvents();
    EXPECT_EQ(window().size(), window().minimumSize());
}

// A floating window remembered where no screen is now (a second monitor unplugged) opens on the
// screen, and the control keeps the place it opened at.
TEST_F(WindowLayoutTest, AToolWindowStoredOffEveryScreenOpensOnTheScreen) {
    ToolWindow& resized = session().form.Shrinkview;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint stored : {QPoint(6000, 4000), QPoint(-3000, 200), QPoint(100, -900)}) {
        SCOPED_TRACE(stored.x() * 10000 + stored.y());
        resized.Left = stored.x();
        resized.Top = stored.y();
        resized.Visible = true;
        desktop->binder().PushAll();
        QApplication::processEvents();
        auto* dock = Widget<ToolWindowWidget>("Shrinkview");
        ASSERT_TRUE(dock && dock->isFloating() && dock->isVisible());
        EXPECT_TRUE(screen.contains(dock->pos())) << dock->pos().x() << "," << dock->pos().y();
        EXPECT_EQ(QPoint(resized.Left, resized.Top), dock->pos());
        resized.Visible = false;
        desktop->binder().PushAll();
    }
}

TEST_F(WindowLayoutTest, ThePictureGrowsWithTheWindow) {
    OpenCapture();
    auto* preview = Widget<PictureView>("PreviewImage");
    ASSERT_TRUE(preview);
    window().resize(1024, 703);
    QApplication::processEvents();
    const QSize small = preview->viewport()->size();
    window().resize(1600, 1000);
    QApplication::processEvents();
    const QSize large = preview->viewport()->size();
    EXPECT_GT(large.width(), small.width() + 400);
    EXPECT_GT(large.height(), small.height() + 200);
}

TEST_F(WindowLayoutTest, ToolWindowsOfAPageDockBesideItsPictureAndStayFloatableAndClosable) {
    OpenCapture();
    Click(Widget<PictureView>("PreviewImage"), {100, 80});  // the feature: on to the Aligning page
    ASSERT_EQ(window().Pages()->currentIndex(), 1);
    QApplication::processEvents();
    auto* align = Widget<PictureView>("AlignImage");
    ASSERT_TRUE(align);
    const QRect picture = ViewportOf(align);
    int shown = 0;
    for (ToolWindowWidget* w : window().ToolWindows()) {
        if (!w->isVisible()) continue;
        ++shown;
        EXPECT_FALSE(w->isFloating()) << w->objectName().toStdString();
        EXPECT_EQ(window().dockWidgetArea(w), Qt::RightDockWidgetArea);
        EXPECT_FALSE(w->geometry().intersects(picture)) << w->objectName().toStdString();
        EXPECT_TRUE(w->features() & QDockWidget::DockWidgetFloatable);
        EXPECT_TRUE(w->features() & QDockWidget::DockWidgetClosable);
    }
    EXPECT_EQ(shown, 2);  // the FFT spectrum and the registration properties
    // Its close box unchecks its check box, docked as floating.
    auto* fft = Widget<ToolWindowWidget>("FFTWindow");
    ASSERT_TRUE(fft);
    fft->setFloating(true);
    fft->close();
    QApplication::processEvents();
    EXPECT_FALSE(session().form.ShowFFTbox.Checked);
    EXPECT_FALSE(Widget<QCheckBox>("ShowFFTbox")->isChecked());
    EXPECT_FALSE(fft->isVisible());
}

TEST_F(WindowLayoutTest, AFloatingToolWindowMovesWithTheMainWindow) {
    auto* frames = Widget<ToolWindowWidget>("SelectFrameswindow");
    ASSERT_TRUE(frames);
    frames->setFloating(true);
    Widget<QCheckBox>("ShowFramelist")->click();
    QApplication::processEvents();
    ASSERT_TRUE(frames->isVisible());
    const QPoint before = frames->pos(), mainBefore = window().pos();
    window().move(window().pos() + QPoint(40, 25));
    QApplication::processEvents();
    EXPECT_EQ(frames->pos() - before, window().pos() - mainBefore);
    EXPECT_NE(frames->pos(), before);
    EXPECT_EQ(QPoint(session().form.SelectFrameswindow.Left, session().form.SelectFrameswindow.Top), frames->pos());
}

TEST_F(WindowLayoutTest, TheDockArrangementComesBackAtTheNextStart) {
    Widget<ToolWindowWidget>("SelectFrameswindow")->setFloating(true);
    desktop->window().close();
    desktop.reset();
    Start();
    auto* frames = Widget<ToolWindowWidget>("SelectFrameswindow");
    ASSERT_TRUE(frames);
    EXPECT_TRUE(frames->isFloating());
    EXPECT_FALSE(Widget<ToolWindowWidget>("FFTWindow")->isFloating());
    // Which windows are open stays the controls' choice, not the stored arrangement's.
    EXPECT_FALSE(frames->isVisible());
}

TEST_F(WindowLayoutTest, AClickPicksTheSamePixelAtEveryZoom) {
    struct Case {
        double zoom;
        QPoint offset;  // a point inside the zoomed pixel, not only its corner
    };
    const Case cases[] = {{0.5, {0, 0}}, {1.0, {0, 0}}, {2.0, {1, 1}}, {4.0, {3, 2}}};
    OpenCapture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        auto* preview = Widget<PictureView>("PreviewImage");
        preview->SetZoom(c.zoom);
        QApplication::processEvents();
        EXPECT_EQ(preview->widget()->size(), QSize(int(200 * c.zoom), int(160 * c.zoom)));
        session().ws.AlignX = session().ws.AlignY = -1;
        window().Pages()->setCurrentIndex(0);
        Click(preview, preview->CanvasPointOf(100, 80) + c.offset);
        EXPECT_EQ(session().ws.AlignX, 100);
        EXPECT_EQ(session().ws.AlignY, 80);
    }
}

TEST_F(WindowLayoutTest, PointBoxesAreDrawnOverTheStackNotIntoIt) {
    OpenCapture();
    Picture& stack = session().form.Stackimage;
    stack.Image.SetSize(120, 90);
    stack.Image.Fill(Bgr{40, 40, 40});
    stack.Boxes = {{10, 20, 32}};
    desktop->binder().Repaint(&stack);
    auto* view = Widget<PictureView>("Stackimage");
    view->SetZoom(1.0);
    window().Pages()->setCurrentIndex(2);
    QApplication::processEvents();
    const QImage shown = view->widget()->grab().toImage();
    const QColor edge = shown.pixelColor(10, 30), inside = shown.pixelColor(26, 36);
    EXPECT_GT(edge.green(), 200);
    EXPECT_EQ(inside.green(), 40);
    EXPECT_EQ(stack.Image.Pixel(10, 30).g, 40);  // the picture a save writes is untouched
}

TEST_F(WindowLayoutTest, FitShowsTheWholePictureAndCtrlWheelSteps) {
    OpenCapture();
    auto* preview = Widget<PictureView>("PreviewImage");
    window().resize(1024, 703);  // the picture fits below the largest zoom
    QApplication::processEvents();
    preview->SetFit();
    QApplication::processEvents();
    const QSize room = preview->maximumViewportSize();
    EXPECT_TRUE(std::abs(preview->widget()->width() - room.width()) <= 1 ||
                std::abs(preview->widget()->height() - room.height()) <= 1);
    EXPECT_LE(preview->widget()->width(), room.width());
    EXPECT_LE(preview->widget()->height(), room.height());

    preview->SetZoom(1.0);
    const QPointF at(10, 10);
    QWheelEvent up(at, preview->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(preview->viewport(), &up);
    EXPECT_EQ(preview->Zoom(), 2.0);
    QWheelEvent down(at, preview->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(preview->viewport(), &down);
    QApplication::sendEvent(preview->viewport(), &down);
    EXPECT_EQ(preview->Zoom(), 0.5);
}

TEST_F(WindowLayoutTest, TheWheelOverAnUnfocusedControlChangesNothing) {
    Controls& f = session().form;
    f.InitialOptionspanel.Expand = true;
    desktop->binder().PushAll();
    auto* spin = window().findChild<QAbstractSpinBox*>();
    auto* combo = window().findChild<QComboBox*>();
    auto* slider = window().findChild<QSlider*>();
    ASSERT_TRUE(spin && combo && slider);
    auto values = [&] {
        return spin->text().toStdString() + "|" + std::to_string(combo->currentIndex()) + "|" +
               std::to_string(slider->value()) + "|" + std::to_string(f.ResampleCombo.ItemIndex);
    };
    const std::string before = values();
    for (QWidget* w : std::initializer_list<QWidget*>{spin, combo, slider}) {
        SCOPED_TRACE(w->metaObject()->className());
        EXPECT_NE(w->focusPolicy(), Qt::WheelFocus);
        const QPointF at(5, 5);
        for (int delta : {120, -120, -120}) {
            QWheelEvent wheel(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &wheel);
        }
        EXPECT_FALSE(w->hasFocus());
        EXPECT_EQ(values(), before);
    }
}

TEST_F(WindowLayoutTest, TheStatusBarShowsStageFramesAndTheLastOperationsTime) {
    StatusLine& status = window().Status();
    status.Refresh();
    EXPECT_EQ(status.StageText(), "No input");
    OpenCapture();
    Click(Widget<PictureView>("PreviewImage"), {100, 80});
    status.Refresh();
    EXPECT_EQ(status.StageText(), "Feature chosen");
    EXPECT_EQ(status.FramesText(), "Frames: 8, selected 8");
    Widget<QPushButton>("Allignallbutton")->click();
    status.Refresh();
    EXPECT_EQ(status.StageText(), "Aligned and ranked");
}

TEST(StatusLineText, DurationsReadAsAPersonSaysThem) {
    const std::pair<int64_t, const char*> cases[] = {{0, "0 ms"}, {850, "850 ms"}, {1000, "1.00 s"}, {3254, "3.25 s"}};
    for (const auto& [ms, text] : cases) EXPECT_EQ(DurationText(ms).toStdString(), text) << ms;
}

TEST_F(WindowLayoutTest, KeysPressTheirButtonsOnlyWhenTheButtonCanBePressed) {
    std::ofstream(appDir / "2Panel1.html") << "<p>Choose your capture.</p>";
    auto key = [&](const char* name) {
        auto* s = window().findChild<QShortcut*>(name);
        ASSERT_TRUE(s) << name;
        emit s->activated();
        QApplication::processEvents();
    };
    key("ShortcutHelp");
    EXPECT_TRUE(Widget<ToolWindowWidget>("HintWindow")->isVisible());
    key("ShortcutHelp");
    EXPECT_FALSE(Widget<ToolWindowWidget>("HintWindow")->isVisible());
    // The Input page has no picture to save: nothing happens (no dialog).
    key("ShortcutSave");
    // Opening is disabled while it cannot be used: the key does nothing either.
    session().form.SelectFileButton.Enabled = false;
    key("ShortcutOpen");
    EXPECT_FALSE(session().ws.StackReady);
}

}  // namespace
}  // namespace talvenor
