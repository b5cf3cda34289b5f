#pragma once
#include "session/session.h"

namespace talvenor {

// Copies a few settings into the per-user store's "Settings" section as they change. The
// copy is only ever written: the values in effect at the next start come from the settings file.
void RegisterSettingsMirror(Session& s);

}  // namespace talvenor
