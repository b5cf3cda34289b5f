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
#include "session/still_on_wavelet_page.h"

namespace talvenor {
namespace {

class UndoAndCloseTest : public testing::DesktopFixture {
protected:
    // A still opened: it arrives stacked and processed on the Wavelet Processing page.
    QSlider* OpenStillAndFindAGain() {
        WriteBmp24(appDir / "still.bmp", testing::PlanetPicture(120, 90));
        OpenInput(session(), {(appDir / "still.bmp").string()}, 2);
        desktop->binder().PushAll();
        return Widget<QWidget>("RxSlider3")->findChild<QSlider*>();
    }
};

TEST_F(UndoAndCloseTest, TheEditMenuUndoesAndRedoesASliderMoveWithItsKeys) {
    auto* menu = window().findChild<QMenu*>("EditMenu");
    auto* undo = window().findChild<QAction*>("EditUndo");
    auto* redo = window().findChild<QAction*>("EditRedo");
    ASSERT_TRUE(menu && undo && redo);
    EXPECT_EQ(menu->title() + undo->text() + redo->text(), "EditUndoRedo");
    EXPECT_EQ(undo->shortcuts(), QList<QKeySequence>{QKeySequence("Ctrl+Z")});
    EXPECT_EQ(redo->shortcuts(), (QList<QKeySequence>{QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
    QSlider* gain = OpenStillAndFindAGain();
    EXPECT_FALSE(undo->isEnabled() || redo->isEnabled());
    gain->setValue(40);
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(gain->value(), 10);
    EXPECT_FALSE(undo->isEnabled());
    redo->trigger();
    EXPECT_EQ(gain->value(), 40);
}

TEST_F(UndoAndCloseTest, ClosingWithUnsavedWorkAsksAndCancelKeepsTheWindow) {
    OpenStillAndFindAGain()->setValue(30);
    std::string asked;
    for (const auto button : {QMessageBox::Cancel, QMessageBox::No}) {
        QTimer::singleShot(0, [&asked, button] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text().toStdString();
                box->button(button)->click();
            }
        });
        window().close();
        EXPECT_EQ(asked, "Save the project first?");
        EXPECT_EQ(window().isVisible(), button == QMessageBox::Cancel);
    }
}

TEST_F(UndoAndCloseTest, EnterAndSpaceOnAPageNeverPressAWorkspaceButton) {
    QSlider* gain = OpenStillAndFindAGain();
    int pressed = 0;
    for (QPushButton* b : window().findChild<QWidget*>("MainArea")->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(b->focusPolicy() == Qt::NoFocus && !b->autoDefault()) << b->objectName().toStdString();
        QObject::connect(b, &QPushButton::clicked, [&pressed] { ++pressed; });
    }
    // Working on the page, a workspace button clicked with the mouse (Cancel, nothing running),
    // then the keys: they still go to the page.
    gain->setFocus();
    auto* cancel = Widget<QPushButton>("BitBtn2");
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, QPointF(5, 5), cancel->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(cancel, &e);
    }
    ASSERT_EQ(pressed, 1);
    for (const int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
        for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(t, key, Qt::NoModifier);
            QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &window(), &e);
        }
    EXPECT_EQ(pressed, 1);
}

}  // namespace
}  // namespace talvenor
