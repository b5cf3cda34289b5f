#pragma once
// What every operation below the Session works with: the workspace, the form, the host
// and the per-user store. The Session owns them and hands this bundle down, so the lower
// layers need not know the Session (which sits above them).
#include "workspace/controls.h"
#include "workspace/host.h"
#include "workspace/user_store.h"
#include "workspace/workspace.h"

namespace talvenor {

struct AppContext {
    Workspace& ws;
    Controls& form;
    Host& host;
    UserStore& Settings;
};

}  // namespace talvenor
