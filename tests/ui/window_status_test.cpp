// The desktop program's status on an offscreen display: what the window says after a pass,
// the log at its newest line, captions and tips on the controls, and Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>

#include "capture/capture.h"
#include "session/input_selection.h"
#include "session/unsaved_work.h"
#include "desktop_fixture.h"
#include "support/temp_dir.h"
#include "ui/binder.h"
#include "ui/desktop_app.h"
#include "ui/main_window.h"
#include "ui/picture_view.h"
#include "ui/status_line.h"

namespace talvenor {
namespace {

class WindowStatusTest : public testing::DesktopFixture {
protected:
    // Opens a small generated capture and picks its centre on the preview, as the mouse does.
    void OpenAndPick() {
        OpenTinyCapture();
        auto* preview = Widget<PictureView>("PreviewImage");
        ASSERT_TRUE(preview);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 80), QPointF(100, 80), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(preview->widget(), &press);
    }
};

TEST_F(WindowStatusTest, AfterThePassTheStatusShowsTheFinalCountAndTheLogItsNewestLine) {
    OpenAndPick();
    Widget<QPushButton>("Allignallbutton")->click();
    auto* status = Widget<QLabel>("label4");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text(), "Processed frame 8 of 8");

    Session& s = desktop->session();
    for (int i = 0; i < 200; ++i) s.form.Memo2.Lines.push_back("line " + std::to_string(i));
    desktop->binder().PushAll();
    auto* log = Widget<QTextBrowser>("Memo2");
    ASSERT_TRUE(log);
    log->resize(200, 100);
    desktop->binder().PushAll();
    s.form.Memo2.Lines.push_back("newest");
    desktop->binder().PushAll();
    QScrollBar* bar = log->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(log->toPlainText().endsWith("newest"));
}

TEST_F(WindowStatusTest, CancelWithNothingRunningShowsNoQuestion) {
    bool questioned = false;
    // Were a question to come up it would block; close it and note that it came.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&questioned] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            questioned = true;
            modal->close();
        }
    });
    watch.start(50);
    Widget<QPushButton>("BitBtn2")->click();
    QApplication::processEvents();
    EXPECT_FALSE(questioned);
    EXPECT_FALSE(desktop->session().ws.CancelRequested);

    auto* own = Widget<QPushButton>("ProgressCancel");
    ASSERT_TRUE(own) << "the progress window has its own Cancel";
    EXPECT_EQ(own->text(), "Cancel");
}

TEST_F(WindowStatusTest, APassShowsItsProgressInTheStatusBarWhoseCancelStopsIt) {
    OpenAndPick();
    StatusLine& status = window().Status();
    Session& s = session();
    QString seen;
    bool barShown = false, floated = false;
    // At the pass's first pump that reports progress: what the status bar shows, then its Cancel.
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (!s.form.StatusProgress.Running || !seen.isEmpty()) return;
        status.Refresh();
        seen = status.ProgressText();
        barShown = !status.Bar()->isHidden() && !status.CancelButton()->isHidden();
        floated = Dock("MessageWindow")->isVisible();
        status.CancelButton()->click();
    });
    during.start(0);
    Widget<QPushButton>("Allignallbutton")->click();
    during.stop();
    EXPECT_TRUE(seen.startsWith("Alignment processing: ")) << seen.toStdString();
    EXPECT_TRUE(seen.endsWith(" / 8")) << seen.toStdString();
    EXPECT_TRUE(barShown);
    EXPECT_FALSE(floated) << "the status bar takes the progress window's place";
    EXPECT_TRUE(s.ws.CancelRequested);
    EXPECT_EQ(s.ws.ProgStatus, 1);
    status.Refresh();
    EXPECT_EQ(status.StageText(), "Cancelled");
    EXPECT_TRUE(status.Bar()->isHidden());
    // Closing the window during a pass stops the pass rather than tearing the window down under it.
    QString stage;
    bool stillOpen = false;
    QObject::disconnect(&during, nullptr, nullptr, nullptr);
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (!s.form.StatusProgress.Running || !stage.isEmpty()) return;
        status.Refresh();
        stage = status.StageText();
        window().close();
        stillOpen = window().isVisible();
    });
    during.start(0);
    Widget<QPushButton>("Allignallbutton")->click();
    during.stop();
    EXPECT_EQ(stage, "Working");
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(s.ws.CancelRequested);
    EXPECT_EQ(s.ws.ProgStatus, 1);
    MarkWorkSaved(s);  // the close that follows the pass has nothing to ask

    // Idle again, the bar shows what the last save wrote.
    s.ws.SavedNote = "Saved /data/jupiter.tif";
    status.Refresh();
    EXPECT_EQ(status.SavedText(), "Saved /data/jupiter.tif");
}

TEST_F(WindowStatusTest, NumberBoxesCarryACaptionAndATip) {
    const struct {
        const char* control;
        const char* caption;
    } cases[] = {
        {"FFTFilterspin", "FFT filter radius"},
        {"QualFilterDX", "Quality band width"},
        {"ResampleSpin", "Resample factor"},
    };
    for (const auto& c : cases) {
        QWidget* box = Widget<QWidget>(c.control);
        ASSERT_TRUE(box) << c.control;
        bool captioned = false;
        for (QLabel* label : box->findChildren<QLabel*>()) captioned |= label->text() == c.caption;
        EXPECT_TRUE(captioned) << c.control;
        EXPECT_FALSE(box->toolTip().isEmpty()) << c.control;
    }
}

TEST_F(WindowStatusTest, BareNumberPairsSayWhatTheyAre) {
    Session& s = desktop->session();
    s.form.Label1.Caption = "32 32";
    desktop->binder().PushAll();
    QWidget* pair = Widget<QWidget>("Label1");
    ASSERT_TRUE(pair);
    QStringList texts;
    for (QLabel* label : pair->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Feature in box:")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("32 32")) << texts.join('|').toStdString();
}

}  // namespace
}  // namespace talvenor
