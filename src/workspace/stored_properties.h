#pragma once
// The control properties the settings file keeps between runs (and a project file keeps
// in its "Form" section), as "Control.Property". The file writes each under the key
// Control + "_" + Property. The list is fixed: an older or newer settings file with other
// keys is read by this list, never by what the file happens to contain.
#include <span>
#include <string_view>

namespace talvenor {

// The control properties followed by Left and Top of the twelve tool windows whose
// placement is remembered, in the order the settings file writes them.
std::span<const std::string_view> StoredProperties();

}  // namespace talvenor
