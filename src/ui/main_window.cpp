#include "ui/main_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "session/session.h"
#include "ui/binder.h"
#include "ui/page_widget.h"
#include "ui/tool_window_widget.h"

namespace talvenor {

namespace {
constexpr int kWidth = 1024, kHeight = 703;
}

MainWindow::MainWindow(Session& session, Binder& binder)
    : QWidget(nullptr), session_(session), binder_(binder), pages_(new QTabWidget(this)) {
    setObjectName("MainForm");
    setWindowTitle("Talvenor V2.0");
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);
    Controls& f = session.form;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    pages_->setObjectName("PageControl1");
    layout->addWidget(pages_, 1);

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
            if (QWidget* w = binder.CreateWidget(*c, this)) buttons->addWidget(w);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    // Tool windows float above the main window.
    for (Control* c : f.All())
        if (c->Kind == ControlKind::ToolWindow) new ToolWindowWidget(binder, static_cast<ToolWindow&>(*c), this);
}

void MainWindow::ApplyPlacement() {
    const WindowPlacement& p = session_.MainPlacement;
    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                     : QRect(0, 0, kWidth, kHeight);
    QPoint at((screen.width() - kWidth) / 2 + screen.x(), (screen.height() - kHeight) / 2 + screen.y());
    if (p.Stored) {
        const QPoint stored(p.NormPos[0], p.NormPos[1]);
        // A remembered place on a screen that is no longer there would hide the window.
        if (screen.intersects(QRect(stored, QSize(kWidth, kHeight)))) at = stored;
    }
    move(at);
}

void MainWindow::StorePlacement() {
    WindowPlacement& p = session_.MainPlacement;
    p.Stored = true;
    p.ShowCmd = isMinimized() ? 2 : 1;
    p.PixelsPerInch = logicalDpiX();
    const QRect g = geometry();
    p.NormPos = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void MainWindow::closeEvent(QCloseEvent* event) {
    StorePlacement();
    if (std::string error = session_.Close(); !error.empty())
        QMessageBox::warning(this, "Talvenor", QString::fromStdString("The settings could not be saved: " + error));
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
