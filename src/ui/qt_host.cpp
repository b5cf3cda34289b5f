#include "ui/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <algorithm>
#include <chrono>
#include <iostream>

#include "ui/binder.h"

namespace talvenor {

std::string QtFilterOf(std::string_view filter) {
    std::string out;
    std::size_t pos = 0;
    while (pos < filter.size()) {
        auto bar = filter.find('|', pos);
        if (bar == std::string_view::npos) break;
        std::string description(filter.substr(pos, bar - pos));
        auto end = filter.find('|', bar + 1);
        std::string patterns(filter.substr(bar + 1, end == std::string_view::npos ? std::string_view::npos : end - bar - 1));
        for (char& c : patterns)
            if (c == ';') c = ' ';
        if (!out.empty()) out += ";;";
        out += description + " (" + patterns + ")";
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return out;
}

namespace {

QStringList FilterList(const DialogSpec& spec) {
    return QString::fromStdString(QtFilterOf(spec.Filter)).split(";;", Qt::SkipEmptyParts);
}

std::optional<FileChoice> RunDialog(QWidget* parent, const DialogSpec& spec, bool save, Binder* binder) {
    QFileDialog dialog(parent, QString::fromStdString(spec.Title));
    const QStringList filters = FilterList(spec);
    dialog.setNameFilters(filters);
    if (spec.FilterIndex >= 1 && spec.FilterIndex <= filters.size()) dialog.selectNameFilter(filters[spec.FilterIndex - 1]);
    if (!spec.InitialDir.empty()) dialog.setDirectory(QString::fromStdString(spec.InitialDir));
    if (!spec.FileName.empty()) dialog.selectFile(QString::fromStdString(spec.FileName));
    if (!spec.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(spec.DefaultExt));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : spec.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (spec.OnHighlight)
        QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&spec, binder](const QString& path) {
            spec.OnHighlight(path.toStdString());
            if (binder) binder->PushAll();
        });
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    FileChoice choice;
    for (const QString& f : dialog.selectedFiles()) choice.Files.push_back(f.toStdString());
    if (!save && choice.Files.size() > 1) {
        // The input selection exchanges the first and the last file it is given (the order
        // another platform's dialog hands them over in). Qt's list is in no useful order, so
        // hand it over sorted by name with the ends exchanged: the series then runs in name
        // order, which is capture order for every capture program's numbering.
        std::sort(choice.Files.begin(), choice.Files.end());
        std::swap(choice.Files.front(), choice.Files.back());
    }
    choice.FilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (choice.FilterIndex < 1) choice.FilterIndex = spec.FilterIndex;
    return choice;
}

}  // namespace

Answer QtHost::Message(MsgKind kind, std::string_view text, Buttons buttons) {
    if (binder_) binder_->PushAll();
    QMessageBox box(window_);
    box.setWindowTitle("Talvenor");
    box.setText(QString::fromUtf8(text.data(), int(text.size())));
    switch (kind) {
        case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
        case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
        case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
        case MsgKind::Confirmation: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::Yes: box.setStandardButtons(QMessageBox::Yes); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::OkNo: box.setStandardButtons(QMessageBox::Ok | QMessageBox::No); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case Buttons::YesCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel); break;
        case Buttons::YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
        case Buttons::AbortRetryIgnore:
            box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
            break;
    }
    // A busy cursor over a question would suggest the program is not waiting for the user.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int r = box.exec();
    QApplication::restoreOverrideCursor();
    switch (r) {
        case QMessageBox::Ok: return Answer::Ok;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Abort: return Answer::Abort;
        case QMessageBox::Retry: return Answer::Retry;
        case QMessageBox::Ignore: return Answer::Ignore;
        default: return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

void QtHost::PumpMessages() {
    // Passes pump once per frame, hundreds of times a second; the screen needs far less, so
    // the controls are pushed to the widgets at most every 20 ms. Events are handled every
    // time, so Cancel and clicks are never late.
    const int64_t now = NowMs();
    if (binder_ && now - lastPushMs_ >= 20) {
        lastPushMs_ = now;
        binder_->PushAll();
    }
    QCoreApplication::processEvents();
}

void QtHost::WaitForUser() {
    if (binder_) binder_->PushAll();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool QtHost::TimeToShowProgress() {
    const int64_t now = NowMs();
    if (now - lastProgressPictureMs_ < 40) return false;
    lastProgressPictureMs_ = now;
    return true;
}

void QtHost::SetCaption(std::string_view caption) {
    if (window_) window_->setWindowTitle(QString::fromUtf8(caption.data(), int(caption.size())));
}

void QtHost::SetCursor(CursorKind cursor) {
    if (cursor == cursor_) return;
    if (cursor_ != CursorKind::Default) QApplication::restoreOverrideCursor();
    if (cursor == CursorKind::Busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (cursor == CursorKind::Cross) QApplication::setOverrideCursor(Qt::CrossCursor);
    cursor_ = cursor;
}

std::optional<FileChoice> QtHost::OpenDialog(const DialogSpec& spec) { return RunDialog(window_, spec, false, binder_); }

std::optional<FileChoice> QtHost::SaveDialog(const DialogSpec& spec) { return RunDialog(window_, spec, true, binder_); }

void QtHost::Repaint(const void* control) {
    if (binder_) binder_->Repaint(control);
}

int64_t QtHost::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void QtHost::CopyToClipboard(const Bitmap24& picture) {
    if (picture.Empty()) return;
    QImage image(picture.Data(), picture.Width(), picture.Height(), int(picture.Stride()), QImage::Format_BGR888);
    QApplication::clipboard()->setImage(image.copy());
}

void QtHost::Log(MsgKind kind, std::string_view line) {
    // Lines go to the terminal the program was started from; the status line counts the
    // frames left out and names them in its tip.
    std::cerr << "[" << MsgKindName(kind) << "] " << line << "\n";
}

}  // namespace talvenor
