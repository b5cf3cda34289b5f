#include "ui/shortcuts.h"

#include <QShortcut>
#include <QWidget>
#include <functional>

#include "ui/binder.h"

namespace talvenor {

std::string SaveButtonOf(const std::string& tabSheet) {
    if (tabSheet == "TabSheet3") return "SaveButton";
    if (tabSheet == "TabSheet4") return "SaveBMP2button";
    if (tabSheet == "TabSheet5") return "BitBtn8";
    return "";
}

namespace {
void Press(Binder& binder, const std::string& name) {
    Control* c = binder.session().form.Find(name);
    if (!c || !c->Visible || !c->Enabled) return;
    binder.UserAction(*c, Event::Click);
}

void Add(QWidget* window, const QKeySequence& keys, const char* name, std::function<void()> act) {
    auto* s = new QShortcut(keys, window);
    s->setObjectName(name);
    // Also while a docked tool window or the status bar has the focus.
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, window, std::move(act));
}
}  // namespace

void InstallShortcuts(Binder& binder, QWidget* window) {
    Controls& f = binder.session().form;
    Add(window, QKeySequence(Qt::CTRL | Qt::Key_O), "ShortcutOpen", [&binder] { Press(binder, "SelectFileButton"); });
    Add(window, QKeySequence(Qt::CTRL | Qt::Key_S), "ShortcutSave", [&binder, &f] {
        Press(binder, SaveButtonOf("TabSheet" + std::to_string(f.PageControl1.ActivePageIndex + 1)));
    });
    Add(window, QKeySequence(Qt::Key_F1), "ShortcutHelp", [&binder] { Press(binder, "BitBtn1"); });
    Add(window, QKeySequence(Qt::Key_Escape), "ShortcutCancel", [&binder] { Press(binder, "BitBtn2"); });
}

}  // namespace talvenor
