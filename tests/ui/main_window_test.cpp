// The desktop program on an offscreen display: the window, its pages and the tool windows
// driven through the widgets, as a user drives them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <fstream>

#include "session/tool_windows.h"
#include "stacking/stacker.h"
#include "support/temp_dir.h"
#include "desktop_fixture.h"
#include "ui/binder.h"
#include "ui/desktop_app.h"
#include "ui/main_window.h"
#include "ui/qt_host.h"

namespace talvenor {
namespace {

QApplication& App() { return testing::TestApp(); }

class DesktopTest : public testing::DesktopFixture {};

TEST_F(DesktopTest, MainWindowHasItsSizePagesAndButtons) {
    MainWindow& w = desktop->window();
    // The size the pages were laid out for, as far as the screen has room for it with a title bar.
    EXPECT_EQ(w.size(), MainWindow::StartSize(QGuiApplication::primaryScreen()->availableGeometry().size()));
    EXPECT_EQ(MainWindow::StartSize(QSize(1280, 800)), QSize(1024, 703));
    const QSize netbook = MainWindow::StartSize(QSize(1024, 600));
    EXPECT_LE(netbook.width(), 1024);
    EXPECT_LE(netbook.height() + 30, 600);
    QTabWidget* pages = w.Pages();
    ASSERT_EQ(pages->count(), 6);
    const char* captions[] = {"Input", "Aligning", "Stacking", "Wavelet Processing", "Final", "Error-reporting"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pages->tabText(i), captions[i]);
    EXPECT_TRUE(pages->isTabVisible(0));
    EXPECT_FALSE(pages->isTabVisible(1) || pages->isTabVisible(2) || pages->isTabVisible(3) || pages->isTabVisible(4));
    EXPECT_TRUE(pages->isTabVisible(5));
    EXPECT_EQ(pages->currentIndex(), 0);
    for (const char* b : {"BitBtn1", "BitBtn2", "SaveProject", "LoadProject", "BitBtn6", "BitBtn7"})
        EXPECT_NE(Widget<QPushButton>(b), nullptr) << b;
    EXPECT_EQ(Widget<QPushButton>("BitBtn1")->text(), "Help");
}

TEST_F(DesktopTest, FrameListWindowFollowsItsCheckBoxAndItsCloseBoxUnchecksIt) {
    auto* box = Widget<QCheckBox>("ShowFramelist");
    QWidget* window = Dock("SelectFrameswindow");
    ASSERT_TRUE(box && window);
    EXPECT_FALSE(window->isVisible());
    box->click();
    EXPECT_TRUE(session().form.ShowFramelist.Checked);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Frame list");
    window->close();
    QApplication::processEvents();
    EXPECT_FALSE(session().form.ShowFramelist.Checked);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(DesktopTest, PageChangesHideAndShowTheToolWindowsOfEachPage) {
    Controls& f = session().form;
    f.ShowFramelist.Checked = true;
    f.Showgraphbox.Checked = true;
    f.TabSheet2.TabVisible = true;
    desktop->binder().PushAll();
    QTabWidget* pages = desktop->window().Pages();
    pages->setCurrentIndex(1);  // Aligning, as a click on its tab does
    EXPECT_EQ(f.PageControl1.ActivePageIndex, 1);
    EXPECT_TRUE(Dock("Propertywindow")->isVisible());
    EXPECT_FALSE(Dock("SelectFrameswindow")->isVisible());
    pages->setCurrentIndex(0);
    EXPECT_FALSE(Dock("Propertywindow")->isVisible());
    EXPECT_TRUE(Dock("SelectFrameswindow")->isVisible());
    pages->setCurrentIndex(5);
    EXPECT_FALSE(Dock("SelectFrameswindow")->isVisible());
    EXPECT_EQ(f.Label38.Caption.rfind("current memory :\n", 0), 0u);
}

TEST_F(DesktopTest, HelpButtonShowsThePanelOrWarnsWhenItIsMissing) {
    std::ofstream(appDir / "2Panel1.html") << "<h2>The Input page</h2><p>Choose your capture.</p>";
    Widget<QPushButton>("BitBtn1")->click();
    QWidget* hints = Dock("HintWindow");
    ASSERT_TRUE(hints);
    EXPECT_TRUE(hints->isVisible());
    auto* memo = hints->findChild<QTextBrowser*>("Hintsmemo");
    ASSERT_TRUE(memo);
    EXPECT_TRUE(memo->toPlainText().contains("Choose your capture."));
    Widget<QPushButton>("BitBtn1")->click();
    EXPECT_FALSE(hints->isVisible());
}

TEST_F(DesktopTest, ControlsAndWidgetsStayInStepBothWays) {
    Controls& f = session().form;
    // Showing the window must not change a value: a spin's range is set before its value.
    EXPECT_EQ(f.QualityFilter.Value, 12);
    EXPECT_EQ(f.FFTFilterspin.Value, 10);
    EXPECT_EQ(f.QualFilterDX.Value, 5);
    EXPECT_EQ(f.RxSlider5.Value, 10);
    EXPECT_EQ(f.ResampleCombo.ItemIndex, f.ResampleCombo.DefaultItemIndex);
    auto* slider = desktop->window().findChild<QSlider*>();
    ASSERT_TRUE(slider);
    // Core to widget: a handler's change shows after the handler.
    f.Followme.Checked = false;
    f.InitialOptionspanel.Expand = true;
    desktop->binder().PushAll();
    EXPECT_FALSE(Widget<QCheckBox>("Followme")->isChecked());
    // Widget to core.
    Widget<QCheckBox>("Followme")->click();
    EXPECT_TRUE(f.Followme.Checked);
    Widget<QCheckBox>("ColourStack")->click();
    EXPECT_TRUE(f.ColourStack.Checked);
}

TEST_F(DesktopTest, DroppedFilesOpenASeriesAndTheSpaceBarSwitchesAFrameOff) {
    const std::string frame = std::string(TALVENOR_SOURCE_DIR) + "/tests/data/bmp/bmp3-rgb24.bmp";
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(frame)), QUrl::fromLocalFile(QString::fromStdString(frame))});
    // As the file manager does it: the drag enters, then the files are dropped.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&desktop->window(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&desktop->window(), &drop);
    Workspace& ws = session().ws;
    EXPECT_EQ(ws.LastFrame, 1);
    EXPECT_EQ(ws.SelectedCount, 2);
    EXPECT_EQ(session().form.PreviewImage.Image.Width(), 13);

    QSlider* slider = Widget<QWidget>("PreviewSlider")->findChild<QSlider*>();
    ASSERT_TRUE(slider);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(slider, &space);
    EXPECT_EQ(ws.Frames[0].Excluded, 1);
    EXPECT_EQ(ws.SelectedCount, 1);
    EXPECT_EQ(Widget<QLabel>("Frames")->text().toStdString(), "Frame : 1 of 2 ( selected = 1) ");
    delete mime;
}

TEST(QtHostFilter, TypeListsBecomeQtFilters) {
    EXPECT_EQ(QtFilterOf("Talvenor Project File|*.rsp|Talvenor Frame List|*.rfl"),
              "Talvenor Project File (*.rsp);;Talvenor Frame List (*.rfl)");
    EXPECT_EQ(QtFilterOf("Fit frame(s) (*.fit)|*.fit; *.fits;*.fts"), "Fit frame(s) (*.fit) (*.fit  *.fits *.fts)");
    EXPECT_EQ(QtFilterOf(""), "");
}

}  // namespace
}  // namespace talvenor

#include <QMouseEvent>

#include "ui/picture_view.h"

namespace talvenor {
namespace {

TEST_F(DesktopTest, ClickingTheFeatureAndAligningShowTheRegistrationWindows) {
    OpenTinyCapture();

    // A click on the preview, as the mouse gives it, picks the feature.
    auto* preview = Widget<PictureView>("PreviewImage");
    ASSERT_TRUE(preview);
    QWidget* canvas = preview->widget();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 80), QPointF(100, 80), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
    Session& s = session();
    EXPECT_EQ(s.ws.AlignX, 100);
    EXPECT_EQ(s.ws.ProgStatus, 1);
    QTabWidget* pages = desktop->window().Pages();
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_TRUE(Dock("FFTWindow")->isVisible());
    EXPECT_TRUE(Dock("Propertywindow")->isVisible());

    Widget<QPushButton>("Allignallbutton")->click();
    EXPECT_GE(s.ws.ProgStatus, 2);
    EXPECT_TRUE(pages->isTabVisible(2));
    EXPECT_GT(s.ws.Ranking[0].RankQuality, 0.0f);
    EXPECT_FALSE(Dock("MessageWindow")->isVisible());

    // The pass leaves the stack slider at the automatic cut, so "Stack" takes the good
    // frames instead of asking whether one frame will do.
    EXPECT_GT(s.form.StackSlider.Value, 0);
    // Its number counts the frames (the slider holds the last rank, counted from 0), as its
    // caption does while no frame is left out.
    auto* count = Widget<QWidget>("StackSlider")->findChild<QSpinBox*>();
    ASSERT_TRUE(count);
    EXPECT_EQ(count->value(), s.form.StackSlider.Value + 1);
    EXPECT_EQ(s.form.StackSlider.Caption, "Frames to stack: " + std::to_string(StackedRanks(s.ctx).size()));

    // And on to a stack.
    pages->setCurrentIndex(2);
    Widget<QPushButton>("Stackbutton")->click();
    EXPECT_TRUE(s.ws.StackReady);
    EXPECT_FALSE(s.form.Stackimage.Image.Empty());
}

}  // namespace
}  // namespace talvenor
