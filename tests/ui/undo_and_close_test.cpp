// The Edit menu's undo and redo, the question on closing with unsaved work, and the workspace
// buttons that Enter and Space must not reach, on an offscreen display.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "desktop_fixture.h"
#include "imagefiles/bmp_file.h"
#include "session/unsaved_work.h"

namespace talvenor {
namespace {

class UndoAndCloseTest : public testing::DesktopFixture {
protected:
    // A still opened: it arrives stacked and processed on the Wavelet Processing page.
    void OpenStill() {
        Bitmap24 still(120, 90);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) still.SetPixel(x, y, Bgr{uint8_t(x * 2), uint8_t(y * 2), uint8_t(x + y)});
        WriteBmp24(appDir / "still.bmp", still);
        OpenInput(session(), {(appDir / "still.bmp").string()}, 2);
        desktop->binder().PushAll();
        QApplication::processEvents();
    }
    QAction* Entry(const char* name) { return window().findChild<QAction*>(name); }
    // Answers the next message box with `button` as soon as it shows.
    void AnswerNextBox(QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [this, button] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text().toStdString();
                box->button(button)->click();
            }
        });
    }
    std::string asked;
};

TEST_F(UndoAndCloseTest, TheEditMenuUndoesAndRedoesASliderMoveWithItsKeys) {
    auto* menu = window().findChild<QMenu*>("EditMenu");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title(), "Edit");
    QAction* undo = Entry("EditUndo");
    QAction* redo = Entry("EditRedo");
    ASSERT_TRUE(undo && redo);
    EXPECT_EQ(undo->text(), "Undo");
    EXPECT_EQ(redo->text(), "Redo");
    EXPECT_EQ(undo->shortcuts(), QList<QKeySequence>{QKeySequence("Ctrl+Z")});
    EXPECT_EQ(redo->shortcuts(), (QList<QKeySequence>{QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
    OpenStill();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    auto* gain = Widget<QWidget>("RxSlider3")->findChild<QSlider*>();
    gain->setValue(40);
    QApplication::processEvents();
    EXPECT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(session().form.RxSlider3.Value, 10);
    EXPECT_EQ(gain->value(), 10);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(gain->value(), 40);
}

TEST_F(UndoAndCloseTest, ClosingWithUnsavedWorkAsksAndCancelKeepsTheWindow) {
    OpenStill();
    Widget<QWidget>("RxSlider3")->findChild<QSlider*>()->setValue(30);
    ASSERT_TRUE(HasUnsavedWork(session()));
    AnswerNextBox(QMessageBox::Cancel);
    window().close();
    EXPECT_EQ(asked, "Save the project first?");
    EXPECT_TRUE(window().isVisible());
    AnswerNextBox(QMessageBox::No);
    window().close();
    EXPECT_FALSE(window().isVisible());
}

TEST_F(UndoAndCloseTest, EnterAndSpaceOnAPageNeverPressAWorkspaceButton) {
    OpenStill();
    int pressed = 0;
    for (QPushButton* b : window().findChildren<QPushButton*>()) {
        if (b->parentWidget() && b->parentWidget()->objectName() != "MainArea") continue;
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
        QObject::connect(b, &QPushButton::clicked, [&pressed] { ++pressed; });
    }
    // Working on the page, then a workspace button clicked with the mouse (Cancel, with nothing
    // running): the keys still go to the page.
    auto* gain = Widget<QWidget>("RxSlider3")->findChild<QSlider*>();
    gain->setFocus();
    auto* cancel = Widget<QPushButton>("BitBtn2");
    const QPointF middle = QRectF(cancel->rect()).center();
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, middle, cancel->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(cancel, &e);
    }
    ASSERT_EQ(pressed, 1);
    for (const int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &window();
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier), up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(focus, &down);
        QApplication::sendEvent(focus, &up);
        QApplication::processEvents();
    }
    EXPECT_EQ(pressed, 1);
}

}  // namespace
}  // namespace talvenor
