#pragma once
// Lays out the controls of one container (a page, a panel, a tool window) in declaration
// order, top to bottom; panels become collapsible groups holding their own controls (side by
// side for a row panel).
#include <set>
#include <string>

class QWidget;
class QBoxLayout;

namespace talvenor {

class Binder;

// Adds the widgets of every child of `container` to `layout`, skipping the names in `skip`
// (pictures the page places itself). Memos and lists take the spare height; returns whether
// there was one, so the caller knows whether to close the column with a stretch.
bool AddControlsOf(Binder& binder, const std::string& container, QWidget* parent, QBoxLayout* layout,
                   const std::set<std::string>& skip = {});

}  // namespace talvenor
