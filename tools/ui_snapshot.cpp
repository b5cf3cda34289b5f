// Saves pictures of the desktop program's windows, for the documentation and for checking
// a layout without a screen:  QT_QPA_PLATFORM=offscreen talvenor-snapshot OUT.png [PAGE]
// PAGE is the tab index (0 Input .. 5 Error-reporting); hidden tabs are shown for the picture.
// Further arguments set controls (Control.Property=VALUE), click one (@Control), pick the
// alignment feature on the preview (pick=X,Y) or open a frame list or project at start
// (open=FILE) or size the main window (size=WxH); page=N after the clicks turns to page N
// as the user would (say, to show the stack that "Align" and "Stack" made). OUT-all.png shows the tool windows over the main window.
// Every visible tool window is saved beside OUT as OUT-<window>.png.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <iostream>

#include "session/session.h"
#include "ui/binder.h"
#include "ui/desktop_app.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: talvenor-snapshot OUT.png [PAGE] [Control.Property=VALUE ...]\n";
        return 2;
    }
    QApplication app(argc, argv);
    // open=FILE.rfl starts the program with that file, as its one command-line argument.
    talvenor::StartUpEnvironment env = talvenor::ProcessEnvironment(1, argv);
    for (int i = 3; i < argc; ++i)
        if (std::string(argv[i]).rfind("open=", 0) == 0) env.Arguments = {std::string(argv[i]).substr(5)};
    talvenor::DesktopApp desktop(env);
    talvenor::Session& s = desktop.session();
    const int page = argc > 2 ? std::atoi(argv[2]) : 0;
    // Settings before the first click or pick apply before it.
    int firstAction = argc;
    for (int i = 3; i < argc; ++i)
        if (argv[i][0] == '@' || std::string(argv[i]).rfind("pick=", 0) == 0) {
            firstAction = i;
            break;
        }
    for (int i = 3; i < firstAction; ++i) {
        std::string arg = argv[i];
        if ((arg.size() > 1 && arg[0] == '@') || arg.rfind("open=", 0) == 0 || arg.rfind("pick=", 0) == 0 ||
            arg.rfind("size=", 0) == 0 || arg.rfind("page=", 0) == 0)
            continue;
        auto eq = arg.find('=');
        if (eq != std::string::npos) s.form.SetValue(arg.substr(0, eq), arg.substr(eq + 1));
    }
    if (auto* sheet = dynamic_cast<talvenor::TabSheet*>(s.form.Find("TabSheet" + std::to_string(page + 1))))
        sheet->TabVisible = true;
    s.form.PageControl1.ActivePageIndex = page;
    s.Dispatch("PageControl1", talvenor::Event::Change);
    // Clicks and picks in the order given; settings given after them apply afterwards.
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg[0] == '@') {
            s.Dispatch(arg.substr(1), talvenor::Event::Click);
        } else if (arg.rfind("pick=", 0) == 0) {
            talvenor::EventArgs click;
            click.X = std::atoi(arg.c_str() + 5);
            click.Y = std::atoi(arg.c_str() + arg.find(',') + 1);
            click.Button = talvenor::MouseButton::Left;
            s.Dispatch("PreviewImage", talvenor::Event::MouseDown, click);
        } else if (arg.rfind("page=", 0) == 0) {
            s.form.PageControl1.ActivePageIndex = std::atoi(arg.c_str() + 5);
            s.Dispatch("PageControl1", talvenor::Event::Change);
        } else if (arg.find('=') != std::string::npos && arg.rfind("open=", 0) != 0 && arg.rfind("size=", 0) != 0 &&
                   i > firstAction) {
            const auto eq = arg.find('=');
            s.form.SetValue(arg.substr(0, eq), arg.substr(eq + 1));
        }
    }
    desktop.binder().PushAll();
    for (int i = 3; i < argc; ++i)
        if (std::string(argv[i]).rfind("size=", 0) == 0) {
            const std::string size = argv[i] + 5;
            desktop.window().resize(std::atoi(size.c_str()), std::atoi(size.c_str() + size.find('x') + 1));
        }
    desktop.window().show();
    QTimer::singleShot(300, [&] {
        const QString out = QString::fromLocal8Bit(argv[1]);
        desktop.window().grab().save(out);
        // Also the whole screen as a user sees it: the tool windows over the main window.
        QPixmap composite = desktop.window().grab();
        {
            QPainter painter(&composite);
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w != &desktop.window() && w->isVisible() && !w->objectName().isEmpty())
                    painter.drawPixmap(w->pos() - desktop.window().pos(), w->grab());
        }
        QString all = out;
        composite.save(all.replace(".png", "-all.png"));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &desktop.window() && w->isVisible() && !w->objectName().isEmpty()) {
                QString name = out;
                name.replace(".png", "-" + w->objectName() + ".png");
                w->grab().save(name);
            }
        app.quit();
    });
    return QApplication::exec();
}
