#include "common/Paths.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "common/Text.h"

namespace nuv {

void NormalizeFolderPath(std::string& path) {
    std::string out = Trim(path);
    out += '/';
    out = ReplaceAll(out, "///", "/");
    path = ReplaceAll(out, "//", "/");
}

namespace {

// The home folder recorded for the current user, "" when there is none.
std::string PasswordHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0) size = 16384;
    std::vector<char> buffer(static_cast<size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

}  // namespace

std::string UserHomeFolder() {
    const char* env = std::getenv("HOME");
    std::string home = (env != nullptr && *env != '\0') ? std::string(env) : PasswordHome();
    if (home.empty()) return "/";
    if (home.back() != '/') home += '/';
    return home;
}

}  // namespace nuv
