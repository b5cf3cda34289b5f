#include "ui/main_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "session/session.h"
#include "session/unsaved_work.h"
#include "ui/binder.h"
#include "ui/compare_button.h"
#include "ui/edit_menu.h"
#include "ui/page_widget.h"
#include "ui/shortcuts.h"
#include "ui/status_line.h"
#include "ui/tool_window_widget.h"

namespace talvenor {

namespace {
// Where the docks' arrangement (area, floating, sizes) is kept in the per-user store.
constexpr const char* kDockSection = "Toolwin";
const std::string kDockKey = "DockLayout";
constexpr std::size_t kDockPiece = 200;
// Bumped when the set of tool windows changes, so an old arrangement is not forced on a new one.
constexpr int kDockLayoutVersion = 2;

// The progress window floats over the work like a dialog, and so does the resized picture,
// which needs more room than a dock leaves; every other tool window docks.
bool FloatsByDefault(const ToolWindow& w) { return w.Name == "MessageWindow" || w.Name == "Shrinkview"; }
// The status bar shows a pass's progress and its Cancel; the progress window would only
// cover the picture with the same.
bool ShownInStatusBar(const ToolWindow& w) { return w.Name == "MessageWindow"; }
}  // namespace

MainWindow::MainWindow(Session& session, Binder& binder)
    : QMainWindow(nullptr), session_(session), binder_(binder), pages_(new QTabWidget(this)) {
    setObjectName("MainForm");
    setWindowTitle("Talvenor V2.0");
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kStartWidth, kStartHeight);
    setAcceptDrops(true);
    setDockNestingEnabled(true);
    Controls& f = session.form;

    auto* central = new QWidget(this);
    central->setObjectName("MainArea");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    pages_->setObjectName("PageControl1");
    layout->addWidget(pages_, 1);
    setCentralWidget(central);

    std::vector<TabSheet*> sheets;
    for (Control* c : f.ChildrenOf("PageControl1"))
        if (c->Kind == ControlKind::TabSheet) sheets.push_back(static_cast<TabSheet*>(c));
    for (TabSheet* sheet : sheets) {
        auto* page = new PageWidget(binder, sheet->Name, MainPictureOf(sheet->Name), pages_);
        pages_->addTab(page, QString::fromStdString(sheet->Caption));
    }
    binder.Bind(f.PageControl1, pages_, [this, sheets, &f] {
        for (int i = 0; i < int(sheets.size()); ++i) {
            pages_->setTabText(i, QString::fromStdString(sheets[std::size_t(i)]->Caption));
            if (pages_->isTabVisible(i) != sheets[std::size_t(i)]->TabVisible)
                pages_->setTabVisible(i, sheets[std::size_t(i)]->TabVisible);
        }
        if (pages_->currentIndex() != f.PageControl1.ActivePageIndex)
            pages_->setCurrentIndex(f.PageControl1.ActivePageIndex);
    });
    connect(pages_, &QTabWidget::currentChanged, this, [this, &f](int index) {
        // A compare held on the page left ends there: its release will reach another page.
        for (QToolButton* b : pages_->findChildren<QToolButton*>())
            if (auto* compare = dynamic_cast<CompareButton*>(b)) compare->LetGo();
        if (index < 0 || index == f.PageControl1.ActivePageIndex) return;
        f.PageControl1.ActivePageIndex = index;
        binder_.UserAction(f.PageControl1, Event::Change);
        if (Control* sheet = f.Find("TabSheet" + std::to_string(index + 1))) binder_.UserAction(*sheet, Event::Enter);
    });

    // The workspace buttons.
    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(6);
    for (Control* c : f.ChildrenOf("MainForm"))
        if (c->Kind == ControlKind::Button)
            if (QWidget* w = binder.CreateWidget(*c, central)) buttons->addWidget(w);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    // Tool windows dock at the right of the pages, where they never cover a page's picture.
    for (Control* c : f.All()) {
        if (c->Kind != ControlKind::ToolWindow) continue;
        auto& window = static_cast<ToolWindow&>(*c);
        auto* dock = new ToolWindowWidget(binder, window, this);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        if (FloatsByDefault(window)) {
            dock->setFloating(true);
            dock->move(window.Left, window.Top);
        }
        if (ShownInStatusBar(window)) dock->KeepHidden();
        dock->hide();
        toolWindows_.push_back(dock);
    }

    status_ = new StatusLine(binder, statusBar());
    InstallShortcuts(binder, this);
    InstallEditMenu(binder, *this);
}

QSize MainWindow::StartSize(QSize freeArea) {
    // The frame is the window manager's, unknown until shown: room for a usual border and title.
    const QSize frame(16, 48);
    return QSize(kStartWidth, kStartHeight).boundedTo(freeArea - frame).expandedTo(QSize(kMinWidth, kMinHeight));
}

void MainWindow::ApplyPlacement() {
    const WindowPlacement& p = session_.MainPlacement;
    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                     : QRect(0, 0, kMinWidth, kMinHeight);
    QSize size = StartSize(screen.size());
    QPoint at((screen.width() - size.width()) / 2 + screen.x(), (screen.height() - size.height()) / 2 + screen.y());
    if (p.Stored) {
        const QPoint stored(p.NormPos[0], p.NormPos[1]);
        const QSize storedSize(p.NormPos[2] - p.NormPos[0], p.NormPos[3] - p.NormPos[1]);
        // A size smaller than the pages need, or larger than the screen, is not taken.
        if (storedSize.width() >= kMinWidth && storedSize.height() >= kMinHeight &&
            storedSize.width() <= screen.width() && storedSize.height() <= screen.height())
            size = storedSize;
        // A remembered place on a screen that is no longer there would hide the window.
        if (screen.intersects(QRect(stored, size))) at = stored;
    }
    resize(size);
    move(at);
    if (p.Stored && p.ShowCmd == 3) setWindowState(windowState() | Qt::WindowMaximized);

    std::string stored;
    for (int part = 0;; ++part) {
        const std::string piece = session_.Settings.ReadString(kDockSection, kDockKey + std::to_string(part), "");
        if (piece.empty()) break;
        stored += piece;
    }
    const QByteArray layout = QByteArray::fromBase64(QByteArray::fromStdString(stored));
    if (!layout.isEmpty()) restoreState(layout, kDockLayoutVersion);
    // The arrangement also holds which docks were open; which are open is the controls' to say.
    binder_.PushAll();
}

void MainWindow::StorePlacement() {
    WindowPlacement& p = session_.MainPlacement;
    p.Stored = true;
    p.ShowCmd = isMinimized() ? 2 : (isMaximized() ? 3 : 1);
    p.PixelsPerInch = logicalDpiX();
    const QRect g = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    p.NormPos = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    // The store reads lines of limited length: the arrangement goes in numbered pieces.
    const std::string layout = saveState(kDockLayoutVersion).toBase64().toStdString();
    int part = 0;
    for (std::size_t at = 0; at < layout.size(); at += kDockPiece, ++part)
        session_.Settings.WriteString(kDockSection, kDockKey + std::to_string(part), layout.substr(at, kDockPiece));
    session_.Settings.WriteString(kDockSection, kDockKey + std::to_string(part), "");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing while a pass runs stops the pass first (at its next frame) and comes back once it
    // has ended: a project saved or a window torn down in the middle of a pass would hold half
    // of its work.
    if (binder_.Busy()) {
        session_.ws.CancelRequested = true;
        event->ignore();
        QTimer::singleShot(100, this, [this] { close(); });
        return;
    }
    // Unsaved work is asked about first; Cancel (or a save that was not made) keeps the window.
    bool goOn = false;
    try {
        goOn = ConfirmDiscardWork(session_);
    } catch (const std::exception& e) {
        QMessageBox::critical(this, "Talvenor", QString::fromUtf8(e.what()));
    }
    binder_.PushAll();
    if (!goOn) {
        event->ignore();
        return;
    }
    StorePlacement();
    if (std::string error = session_.Close(); !error.empty())
        QMessageBox::warning(this, "Talvenor", QString::fromStdString("The settings could not be saved: " + error));
    event->accept();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // Floating tool windows keep their place beside the main window.
    if (!isVisible() || event->oldPos() == event->pos()) return;
    const QPoint delta = event->pos() - event->oldPos();
    for (ToolWindowWidget* w : toolWindows_) w->FollowOwner(delta);
}

CompareButton* MainWindow::CurrentCompare() const {
    QWidget* page = pages_->currentWidget();
    // By C++ type: the widgets carry no meta-object of their own, so findChild would take any button.
    if (page)
        for (QToolButton* b : page->findChildren<QToolButton*>())
            if (auto* compare = dynamic_cast<CompareButton*>(b)) return compare;
    return nullptr;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    CompareButton* compare = event->key() == Qt::Key_Backslash ? CurrentCompare() : nullptr;
    if (!compare) return QMainWindow::keyPressEvent(event);
    if (!event->isAutoRepeat()) compare->Hold();
    event->accept();
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    CompareButton* compare = event->key() == Qt::Key_Backslash ? CurrentCompare() : nullptr;
    if (!compare) return QMainWindow::keyReleaseEvent(event);
    if (!event->isAutoRepeat()) compare->LetGo();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    EventArgs args;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) args.Files.push_back(url.toLocalFile().toStdString());
    if (args.Files.empty()) return;
    event->acceptProposedAction();
    binder_.WindowAction("MainForm", Event::FilesDropped, args);
}

}  // namespace talvenor
