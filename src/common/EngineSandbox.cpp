#include "common/EngineSandbox.h"

#include <string_view>

namespace nuv {
namespace {

// Whether `flags`, words separated by blanks, hold the switch that turns the sandbox off
// (Chromium takes "-" as well as "--" before a switch, and a value after "=").
bool HasNoSandboxSwitch(std::string_view flags) {
    std::size_t at = 0;
    while (at < flags.size()) {
        while (at < flags.size() && static_cast<unsigned char>(flags[at]) <= ' ') ++at;
        std::size_t end = at;
        while (end < flags.size() && static_cast<unsigned char>(flags[end]) > ' ') ++end;
        std::string_view word = flags.substr(at, end - at);
        at = end;
        if (word.starts_with("--")) {
            word.remove_prefix(2);
        } else if (word.starts_with("-")) {
            word.remove_prefix(1);
        } else {
            continue;
        }
        if (word == "no-sandbox" || word.starts_with("no-sandbox=")) return true;
    }
    return false;
}

}  // namespace

std::string RootSandboxWarning(unsigned effectiveUid, const char* disableSandbox, const char* chromiumFlags) {
    if (effectiveUid != 0) return {};
    const bool off = disableSandbox != nullptr || (chromiumFlags != nullptr && HasNoSandboxSwitch(chromiumFlags));
    if (!off) return {};
    return "running as root with the browser sandbox off; run this program as a normal user";
}

}  // namespace nuv
