#include "platform/EngineUserAgent.h"

#include <sys/utsname.h>

#include "platform/EngineVersions.h"

namespace nuv {

std::string EngineUserAgent() {
    struct utsname machine {};
    const std::string cpu = uname(&machine) == 0 ? machine.machine : "x86_64";
    return "Mozilla/5.0 (X11; Linux " + cpu + ") AppleWebKit/537.36 (KHTML, like Gecko) QtWebEngine/" +
           std::string(kEngineVersion) + " Chrome/" + std::string(kEngineChromiumVersion) + " Safari/537.36";
}

}  // namespace nuv
