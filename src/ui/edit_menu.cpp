#include "ui/edit_menu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "ui/binder.h"

namespace talvenor {

namespace {
QAction* AddEntry(Binder& binder, QMenu* menu, const char* text, const char* action, QList<QKeySequence> keys) {
    auto* a = menu->addAction(QString::fromUtf8(text));
    a->setObjectName(QString("Edit") + action);
    a->setShortcuts(keys);
    // Also while a docked tool window has the focus.
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, &binder, [&binder, action] { binder.WindowAction(action, Event::Click); });
    return a;
}
}  // namespace

void InstallEditMenu(Binder& binder, QMainWindow& window) {
    QMenu* menu = window.menuBar()->addMenu("Edit");
    menu->setObjectName("EditMenu");
    QAction* undo = AddEntry(binder, menu, "Undo", "Undo", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    QAction* redo = AddEntry(binder, menu, "Redo", "Redo",
                             {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The menu bar's actions belong to the window, so their keys work without the menu open.
    window.addAction(undo);
    window.addAction(redo);
    const UndoHistory& history = binder.session().undo;
    binder.OnPushed([undo, redo, &history] {
        undo->setEnabled(history.CanUndo());
        redo->setEnabled(history.CanRedo());
    });
}

}  // namespace talvenor
