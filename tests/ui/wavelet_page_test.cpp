#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QClipboard>
#include <QMouseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include "desktop_fixture.h"
#include "ui/picture_view.h"
#include "wavelets/histogram.h"

namespace talvenor {
namespace {

using testing::DesktopFixture;
using WaveletPageTest = DesktopFixture;

// What the processed view shows on the screen.
QImage Shown(PictureView* view) { return view->widget()->grab().toImage(); }

// Pixels of the screen that differ from the control's picture (shown at 1:1).
int DifferentPixels(const QImage& shown, const Bitmap24& picture) {
    if (shown.width() != picture.Width() || shown.height() != picture.Height()) return -1;
    int different = 0;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            const Bgr p = picture.Pixel(x, y);
            different += c.red() != p.r || c.green() != p.g || c.blue() != p.b;
        }
    return different;
}

TEST_F(WaveletPageTest, AlignAndStackEndsOnTheProcessedPictureThatFollowsGainsAndPreviews) {
    OpenTinyCapture();
    auto* preview = Widget<PictureView>("PreviewImage");
    ASSERT_TRUE(preview);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 80), QPointF(100, 80), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(preview->widget(), &press);
    Widget<QPushButton>("AlignStackButton")->click();
    QApplication::processEvents();

    Session& s = session();
    QTabWidget* pages = window().Pages();
    ASSERT_EQ(pages->currentIndex(), 3);
    ASSERT_TRUE(s.ws.StackReady);
    EXPECT_FALSE(s.ws.LayersStale);
    auto* view = Widget<PictureView>("ProcessImage");
    ASSERT_TRUE(view);
    // A new stack arrives deconvolved, its gains out of use; the "Wavelets" choice brings them back.
    EXPECT_EQ(s.form.SharpenMethod.ItemIndex, 1);
    EXPECT_TRUE(Widget<QWidget>("DeconvolutionGroup")->isVisible());
    EXPECT_FALSE(Widget<QWidget>("RxSlider3")->isEnabled());
    const QImage deconvolved = Shown(view);
    Widget<QGroupBox>("SharpenMethod")->findChildren<QRadioButton*>().at(0)->click();
    QApplication::processEvents();
    EXPECT_FALSE(Widget<QWidget>("DeconvolutionGroup")->isVisible());
    const QImage processed = Shown(view);
    EXPECT_NE(processed, deconvolved);
    EXPECT_EQ(processed.width(), s.ws.ImageWidth);
    EXPECT_EQ(processed.height(), s.ws.ImageHeight);
    EXPECT_EQ(DifferentPixels(processed, s.form.ProcessImage.Image), 0);
    EXPECT_TRUE(Widget<QPushButton>("SaveBMP2button")->isEnabled());

    // A gain slider dragged and released: the picture is rebuilt at the release.
    QWidget* gainRow = Widget<QWidget>("RxSlider3");
    ASSERT_TRUE(gainRow);
    auto* gain = qobject_cast<QSlider*>(gainRow) ? qobject_cast<QSlider*>(gainRow) : gainRow->findChild<QSlider*>();
    ASSERT_TRUE(gain);
    gain->setSliderDown(true);
    gain->setValue(60);
    QApplication::processEvents();
    EXPECT_EQ(Shown(view), processed);  // no auto-processing: only the captions moved
    EXPECT_EQ(Widget<QPushButton>("layer1button")->text(), "6");
    gain->setSliderDown(false);
    QApplication::processEvents();
    const QImage sharpened = Shown(view);
    EXPECT_NE(sharpened, processed);
    EXPECT_EQ(DifferentPixels(sharpened, s.form.ProcessImage.Image), 0);

    // The gain beside the slider takes a typed gain, and its arrows step it by 0.1.
    auto* typed = gainRow->findChild<QDoubleSpinBox*>();
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->value(), 6.0);
    typed->setValue(2.5);
    QApplication::processEvents();
    EXPECT_EQ(s.form.RxSlider3.Value, 25);
    EXPECT_EQ(gain->value(), 25);
    EXPECT_EQ(Widget<QPushButton>("layer1button")->text(), "2.5");
    EXPECT_NE(Shown(view), sharpened);
    for (int expected : {26, 27, 26}) {
        typed->stepBy(expected > s.form.RxSlider3.Value ? 1 : -1);
        QApplication::processEvents();
        EXPECT_EQ(s.form.RxSlider3.Value, expected);
        EXPECT_EQ(gain->value(), expected);
    }
    typed->setValue(6.0);
    QApplication::processEvents();
    EXPECT_EQ(Shown(view), sharpened);

    // A layer button held shows that layer; released, the picture comes back.
    auto* layer = Widget<QPushButton>("layer2button");
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(layer, &down);
    QApplication::processEvents();
    EXPECT_NE(Shown(view), sharpened);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(layer, &up);
    QApplication::processEvents();
    EXPECT_EQ(Shown(view), sharpened);

    // The page's tool windows follow their boxes.
    Widget<QCheckBox>("Gammawin")->click();
    Widget<QCheckBox>("Filtercheckbox")->click();
    QApplication::processEvents();
    EXPECT_TRUE(Dock("GammaWindow")->isVisible());
    EXPECT_TRUE(Dock("FilterWindow")->isVisible());
    auto* graph = Widget<PictureView>("GammaSplineGraph");
    ASSERT_TRUE(graph);
    EXPECT_GE(Shown(graph).width(), 255);

    // The histogram and noise windows dock beside the page; the histogram shows the levels.
    Widget<QCheckBox>("Histowin")->click();
    Widget<QCheckBox>("Showdenoise")->click();
    QApplication::processEvents();
    EXPECT_TRUE(Dock("HistoWindow")->isVisible());
    EXPECT_TRUE(Dock("Denoisewindow")->isVisible());
    auto* histogram = Widget<PictureView>("Histograph");
    ASSERT_TRUE(histogram);
    // The graph shows inside its axes and legend; a drag on it still lands on the graph's own
    // pixels (a marker dragged to level 30 of the strip below the curves).
    const GraphMargins frame = MarginsOf(HistogramAxes(), 281);
    EXPECT_EQ(Shown(histogram).width(), 281 + frame.Left + frame.Right);
    const QPointF onStrip(frame.Left + 30, frame.Top + 240);
    QMouseEvent drag(QEvent::MouseMove, onStrip, onStrip, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(histogram->widget(), &drag);
    EXPECT_EQ(s.wavelets.Histogram.LowPos, 37);
    // Leaving the page hides its windows, coming back shows them again.
    pages->setCurrentIndex(2);
    QApplication::processEvents();
    EXPECT_FALSE(Dock("HistoWindow")->isVisible());
    pages->setCurrentIndex(3);
    QApplication::processEvents();
    EXPECT_TRUE(Dock("Denoisewindow")->isVisible());

    // On to the Final page: the final picture is shown, and "Clipboard" puts it on the
    // system clipboard.
    pages->setCurrentIndex(4);
    QApplication::processEvents();
    auto* finalView = Widget<PictureView>("RotateImage");
    ASSERT_TRUE(finalView);
    EXPECT_EQ(Shown(finalView).width(), s.ws.ImageWidth);
    QApplication::clipboard()->clear();
    Widget<QPushButton>("BitBtn9")->click();
    QApplication::processEvents();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.width(), s.ws.ImageWidth);
    EXPECT_EQ(copied.height(), s.ws.ImageHeight);

    // Zoomed in and scrolled: the page knows the part shown, its thumbnail marks it, and a
    // click elsewhere leaves the view where the user put it.
    window().resize(window().minimumSize());
    Widget<QCheckBox>("AdvancedHLS")->click();  // the curves' window docks beside the view
    finalView->SetZoom(4.0);
    QApplication::processEvents();
    QScrollBar* across = finalView->horizontalScrollBar();
    ASSERT_GE(across->maximum(), 120);
    across->setValue(120);
    QApplication::processEvents();
    EXPECT_EQ(s.form.EventScrollBox1.HorzPosition, 30);
    EXPECT_GT(s.form.EventScrollBox1.ViewWidth, 0);
    EXPECT_LT(s.form.EventScrollBox1.ViewWidth, s.ws.ImageWidth);
    const Bitmap24& thumbnail = s.form.Overview.Image;
    const double scale = double(thumbnail.Width()) / s.ws.ImageWidth;
    EXPECT_EQ(thumbnail.Pixel(int(std::lrint(30 * scale)), int(thumbnail.Height() * 0.3)), (Bgr{255, 255, 255}));
    Widget<QCheckBox>("FlipX")->click();
    QApplication::processEvents();
    EXPECT_EQ(across->value(), 120);
}

}  // namespace
}  // namespace talvenor
