#pragma once
// Which code runs when the user acts on a control. The subsystems register their handlers
// here by control name and event; the GUI, the command line and the tests dispatch through
// it, so every front-end runs exactly the same code for the same action.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "workspace/events.h"

namespace talvenor {

class Handlers {
public:
    using Fn = std::function<void(const EventArgs&)>;

    // Several handlers may listen to one control and event; they run in registration order.
    void On(std::string_view control, Event event, Fn fn);
    void On(std::string_view control, Event event, std::function<void()> fn);
    // Runs the handlers; false when none is registered.
    bool Dispatch(std::string_view control, Event event, const EventArgs& args = {}) const;
    bool Has(std::string_view control, Event event) const;
    // How many dispatches are under way: 1 inside an ordinary handler, more when a long
    // pass lets the user's actions run while it pumps messages.
    int Depth() const { return depth_; }

private:
    mutable int depth_ = 0;
    std::map<std::pair<std::string, Event>, std::vector<Fn>, std::less<>> table_;
};

}  // namespace talvenor
