#include "common/Shell.h"

#include <filesystem>
#include <system_error>

#include "common/Text.h"

namespace nuv {

namespace {

// True when a file or folder of exactly that name exists (symbolic links followed).
bool FileOrFolderExists(std::string_view name) {
    if (name.empty()) return false;
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(std::string(name)), ec);
    return !ec && std::filesystem::exists(status);
}

// Hands `target` to the shell, swallowing whatever the desktop does.
void SafeOpen(IShell& shell, const std::string& target) {
    try {
        shell.Open(target);
    } catch (...) {
    }
}

}  // namespace

void OpenLocation(IShell& shell, std::string_view target) {
    try {
        if (TrimView(target).empty()) return;
        if (target.front() == '/') {
            if (FileOrFolderExists(target)) SafeOpen(shell, std::string(target));
            return;
        }
        const std::string lower = LowerAscii(target);
        const bool open = Contains(lower, "http:") || Contains(lower, "https:") || !Contains(lower, ":") ||
                          FileOrFolderExists(target);
        if (!open) return;
        SafeOpen(shell, Contains(lower, ":") ? std::string(target) : "http://" + std::string(target));
    } catch (...) {
    }
}

void OpenWebAddress(IShell& shell, std::string_view address) {
    try {
        if (TrimView(address).empty()) return;
        SafeOpen(shell, Contains(address, "://") ? std::string(address) : "http://" + std::string(address));
    } catch (...) {
    }
}

void ShellOpen(IShell& shell, std::string_view text) {
    try {
        SafeOpen(shell, std::string(text));
    } catch (...) {
    }
}

}  // namespace nuv
