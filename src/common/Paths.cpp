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

std::string UserConfigFolder(const std::string& home, const std::string& xdgConfigHome) {
    if (!StartsWith(xdgConfigHome, "/")) return home + ".config/";
    std::string folder = xdgConfigHome;
    NormalizeFolderPath(folder);
    return folder;
}

std::string UserDownloadFolder(const std::string& home, const std::string& userDirs) {
    for (const std::string& line : SplitLines(userDirs)) {
        std::string_view t = TrimView(line);
        if (!StartsWith(t, "XDG_DOWNLOAD_DIR=")) continue;
        t.remove_prefix(17);
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
        std::string folder(t);
        if (StartsWith(folder, "$HOME")) folder = home + folder.substr(5);
        if (!StartsWith(folder, "/")) break;
        NormalizeFolderPath(folder);
        return folder;
    }
    return home + "Downloads/";
}

bool IsSharedProgramFolder(std::string_view folder) {
    for (std::string_view shared : {"/usr/", "/bin/", "/sbin/", "/lib/"}) {
        if (folder.substr(0, shared.size()) == shared) return true;
        if (folder == shared.substr(0, shared.size() - 1)) return true;
    }
    return false;
}

}  // namespace nuv
