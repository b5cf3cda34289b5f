#include "workspace/control_registry.h"

#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

void ControlRegistry::Register(Control* control) {
    auto [it, inserted] = byName_.emplace(ToLower(control->Name), control);
    if (!inserted) throw Error("Control " + control->Name + " is declared twice");
    all_.push_back(control);
}

Control* ControlRegistry::Find(std::string_view name) const {
    auto it = byName_.find(ToLower(name));
    return it == byName_.end() ? nullptr : it->second;
}

Control& ControlRegistry::Get(std::string_view name) const {
    if (Control* c = Find(name)) return *c;
    throw Error("Unknown control " + std::string(name));
}

std::vector<Control*> ControlRegistry::ChildrenOf(std::string_view parent) const {
    std::vector<Control*> out;
    for (Control* c : all_)
        if (c->Parent == parent) out.push_back(c);
    return out;
}

namespace {
std::pair<std::string_view, std::string_view> SplitDot(std::string_view nameDotProperty) {
    auto dot = nameDotProperty.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == nameDotProperty.size())
        throw Error("Expected Control.Property, got \"" + std::string(nameDotProperty) + "\"");
    return {nameDotProperty.substr(0, dot), nameDotProperty.substr(dot + 1)};
}
}  // namespace

std::optional<std::string> ControlRegistry::GetValue(std::string_view nameDotProperty) const {
    auto [name, property] = SplitDot(nameDotProperty);
    return Get(name).GetProperty(property);
}

void ControlRegistry::SetValue(std::string_view nameDotProperty, std::string_view value) {
    auto [name, property] = SplitDot(nameDotProperty);
    Get(name).SetProperty(property, value);
}

}  // namespace talvenor
