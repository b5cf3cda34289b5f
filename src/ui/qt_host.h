#pragma once
// The Host of the desktop program: Qt message boxes and file dialogs, event pumping that
// first shows the controls' current state, the window caption and the cursor.
#include "workspace/host.h"

class QWidget;

namespace talvenor {

class Binder;

class QtHost : public Host {
public:
    void Attach(Binder* binder, QWidget* mainWindow) {
        binder_ = binder;
        window_ = mainWindow;
    }

    Answer Message(MsgKind kind, std::string_view text, Buttons buttons) override;
    void PumpMessages() override;
    void WaitForUser() override;
    bool TimeToShowProgress() override;
    void SetCaption(std::string_view caption) override;
    void SetCursor(CursorKind cursor) override;
    std::optional<FileChoice> OpenDialog(const DialogSpec& spec) override;
    std::optional<FileChoice> SaveDialog(const DialogSpec& spec) override;
    void Repaint(const void* control) override;
    int64_t NowMs() override;
    void CopyToClipboard(const Bitmap24& picture) override;
    void Log(MsgKind kind, std::string_view line) override;

private:
    Binder* binder_ = nullptr;
    QWidget* window_ = nullptr;
    CursorKind cursor_ = CursorKind::Default;
    int64_t lastPushMs_ = -1000;
    int64_t lastProgressPictureMs_ = -1000;
};

// "Bitmaps|*.bmp;*.dib|JPEG|*.jpg" -> "Bitmaps (*.bmp *.dib);;JPEG (*.jpg)".
std::string QtFilterOf(std::string_view filter);

}  // namespace talvenor
