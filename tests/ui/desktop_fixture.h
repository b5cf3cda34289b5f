#pragma once
// The desktop program started offscreen, as at a user's start, in temporary program and
// configuration directories, for the window tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <memory>

#include "capture/capture.h"
#include "session/input_selection.h"
#include "session/unsaved_work.h"
#include "support/temp_dir.h"
#include "test_app.h"
#include "ui/binder.h"
#include "ui/desktop_app.h"
#include "ui/main_window.h"

namespace talvenor::testing {

class DesktopFixture : public ::testing::Test {
protected:
    void SetUp() override { StartDesktop(); }
    void TearDown() override { StopDesktop(); }

    // Starts the program (again, after StopDesktop: as when the user restarts it).
    // The program's start-up environment in the test's directories, with its arguments.
    StartUpEnvironment Environment(std::vector<std::string> arguments = {}) const {
        StartUpEnvironment env;
        env.CurrentDir = appDir.path();
        env.ProgramFile = appDir / "talvenor";
        env.UserConfigDir = configDir.path();
        env.Arguments = std::move(arguments);
        return env;
    }
    void StartDesktop(std::vector<std::string> arguments = {}) {
        TestApp();
        desktop = std::make_unique<DesktopApp>(Environment(std::move(arguments)));
        desktop->window().show();
        QApplication::processEvents();
    }
    void StopDesktop() {
        if (!desktop) return;
        // The test's work is not asked about as the window closes.
        MarkWorkSaved(session());
        desktop->window().close();
        desktop.reset();
    }

    MainWindow& window() { return desktop->window(); }
    Session& session() { return desktop->session(); }
    // The widget of a control, in the main window or any window of its own.
    template <class W>
    W* Widget(const char* name) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* w = top->findChild<W*>(name)) return w;
        return nullptr;
    }
    // Tool windows are docks of the main window, floating or not.
    QWidget* Dock(const char* name) { return window().findChild<QDockWidget*>(name); }

    // A small generated capture (8 grey frames of 200 x 160), opened as the Input page opens it.
    void OpenTinyCapture() {
        capture::CaptureOptions o;
        o.frames = 8;
        o.width = 200;
        o.height = 160;
        o.format = capture::CaptureFormat::AviGrey;
        o.writeTruth = false;
        capture::WriteCapture(appDir / "tiny.avi", o);
        OpenInput(session(), {(appDir / "tiny.avi").string()}, 1);
        desktop->binder().PushAll();
        QApplication::processEvents();
    }

    TempDir appDir, configDir;
    std::unique_ptr<DesktopApp> desktop;
};

}  // namespace talvenor::testing
