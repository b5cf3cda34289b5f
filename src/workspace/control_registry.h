#pragma once
// Finds the controls of the form by name. Every control registers itself here when it is
// constructed, so the registry must be constructed before any control (it is the first
// base of Controls). Names are compared without regard to case.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/control_kinds.h"

namespace talvenor {

class ControlRegistry {
public:
    ControlRegistry() = default;
    ControlRegistry(const ControlRegistry&) = delete;
    ControlRegistry& operator=(const ControlRegistry&) = delete;

    // Called by Control's constructor; a second control of the same name is a programming
    // error and throws.
    void Register(Control* control);

    // nullptr when no control has this name.
    Control* Find(std::string_view name) const;
    // Throws talvenor::Error "Unknown control NAME" when missing.
    Control& Get(std::string_view name) const;
    // Every control, in declaration order.
    const std::vector<Control*>& All() const { return all_; }
    // The controls whose Parent is `parent`, in declaration order.
    std::vector<Control*> ChildrenOf(std::string_view parent) const;

    // "Name.Property" access used by the settings file, project files and `--set`.
    std::optional<std::string> GetValue(std::string_view nameDotProperty) const;
    void SetValue(std::string_view nameDotProperty, std::string_view value);

private:
    std::vector<Control*> all_;
    std::map<std::string, Control*, std::less<>> byName_;  // key in lower case
};

}  // namespace talvenor
