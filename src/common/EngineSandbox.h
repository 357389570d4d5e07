#pragma once

#include <string>

namespace nuv {

// The line both programs write on standard error, after their name, when the browser
// engine runs as root without its sandbox, so that a page the engine renders is not
// kept from the rest of the system; "" when there is nothing to say. `effectiveUid` is
// the process's, `disableSandbox` and `chromiumFlags` the values of
// QTWEBENGINE_DISABLE_SANDBOX and QTWEBENGINE_CHROMIUM_FLAGS as the engine will read
// them (nullptr when unset). The engine's sandbox is off when the first is set, to any
// value, or the second holds the switch --no-sandbox.
std::string RootSandboxWarning(unsigned effectiveUid, const char* disableSandbox, const char* chromiumFlags);

}  // namespace nuv
