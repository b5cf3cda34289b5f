#include "session/handlers.h"

#include "workspace/text_util.h"

namespace talvenor {

void Handlers::On(std::string_view control, Event event, Fn fn) {
    table_[{ToLower(control), event}].push_back(std::move(fn));
}

void Handlers::On(std::string_view control, Event event, std::function<void()> fn) {
    On(control, event, Fn([f = std::move(fn)](const EventArgs&) { f(); }));
}

bool Handlers::Dispatch(std::string_view control, Event event, const EventArgs& args) const {
    auto it = table_.find(std::pair<std::string, Event>{ToLower(control), event});
    if (it == table_.end()) return false;
    // Copy: a handler may register further handlers while it runs.
    auto fns = it->second;
    struct Nesting {
        int& depth;
        explicit Nesting(int& d) : depth(d) { ++depth; }
        ~Nesting() { --depth; }
    } nesting{depth_};
    for (const Fn& fn : fns) fn(args);
    return true;
}

bool Handlers::Has(std::string_view control, Event event) const {
    return table_.count(std::pair<std::string, Event>{ToLower(control), event}) > 0;
}

}  // namespace talvenor
