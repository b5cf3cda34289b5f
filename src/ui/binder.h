#pragma once
// Keeps the widgets and the Controls in step. When the user acts on a widget, the binder
// copies the new value into its control and runs the control's handlers through the
// Session; after every handler (and at every message pump) it pushes all controls back
// into the widgets with their signals blocked. No page or window repeats this code.
#include <QObject>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "session/session.h"

class QWidget;

namespace talvenor {

class PictureView;

class Binder : public QObject {
public:
    explicit Binder(Session& session);

    // Creates the widget that shows `control` (nullptr for kinds shown elsewhere: pages,
    // tool windows, dialogs, scroll boxes) and binds it.
    QWidget* CreateWidget(Control& control, QWidget* parent);

    // Binds a widget made elsewhere: `push` copies the control into the widget.
    void Bind(Control& control, QWidget* widget, std::function<void()> push);

    // Copies every control into its widget.
    void PushAll();
    // Runs `after` at the end of every push (window parts that follow the Session, not a control).
    void OnPushed(std::function<void()> after) { afterPush_.push_back(std::move(after)); }
    // Shows a changed picture at once.
    void Repaint(const void* control);

    // The user acted: runs the handlers (unless a pass is running and this is not one of
    // the actions a pass listens to), reports errors, then pushes everything back.
    void UserAction(Control& control, Event event, const EventArgs& args = {});
    // The same for actions on the window itself (files dropped on it).
    void WindowAction(std::string_view name, Event event, const EventArgs& args = {});

    bool Busy() const { return depth_ > 0; }

protected:
    // Key presses on sliders reach their KeyDown handlers (the space bar on the preview
    // slider switches the frame on or off).
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    Session& session() { return session_; }
    QWidget* WidgetOf(const Control& control) const;

private:
    // A slider with its caption and the number beside it (binder_slider.cpp).
    QWidget* MakeSlider(Slider& slider, QWidget* parent);
    void Run(std::string_view name, Event event, const EventArgs& args);
    struct Binding {
        Control* control;
        QWidget* widget;
        std::function<void()> push;
    };
    Session& session_;
    std::vector<Binding> bindings_;
    std::unordered_map<const void*, std::size_t> byControl_;
    std::unordered_map<QObject*, Control*> keyTargets_;
    std::vector<std::function<void()>> afterPush_;
    int depth_ = 0;
    bool pushing_ = false;
};

}  // namespace talvenor
