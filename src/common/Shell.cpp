#include "common/Shell.h"

#include <filesystem>
#include <system_error>

#include "common/Guard.h"
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
        NoteSwallowed();
    }
}

}  // namespace

bool IsWebAddress(std::string_view text) {
    const std::string lower = LowerAscii(TrimView(text));
    return StartsWith(lower, "http://") || StartsWith(lower, "https://");
}

void OpenLocation(IShell& shell, std::string_view target) {
    try {
        if (TrimView(target).empty()) return;
        if (target.front() == '/') {
            if (FileOrFolderExists(target)) SafeOpen(shell, std::string(target));
            return;
        }
        // Only web addresses reach the desktop's browser; a text that merely holds "http:"
        // ("smb://host/share/http:") would go to the handler of another scheme.
        if (IsWebAddress(target)) {
            SafeOpen(shell, std::string(target));
            return;
        }
        const std::string lower = LowerAscii(target);
        if (Contains(lower, "http:") || Contains(lower, "https:")) return;
        if (!Contains(lower, ":")) {
            SafeOpen(shell, "http://" + std::string(target));
            return;
        }
        // A file of the current folder whose name holds a colon: handed over by its full
        // path, so the desktop cannot read the name as an address of some scheme.
        if (FileOrFolderExists(target)) {
            std::error_code ec;
            const std::filesystem::path full = std::filesystem::absolute(std::string(target), ec);
            if (!ec) SafeOpen(shell, full.string());
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void OpenWebAddress(IShell& shell, std::string_view address) {
    try {
        if (TrimView(address).empty()) return;
        if (!Contains(address, "://")) {
            SafeOpen(shell, "http://" + std::string(address));
        } else if (IsWebAddress(address)) {
            SafeOpen(shell, std::string(address));
        }
    } catch (...) {
        NoteSwallowed();
    }
}

void ShellOpen(IShell& shell, std::string_view text) {
    try {
        SafeOpen(shell, std::string(text));
    } catch (...) {
        NoteSwallowed();
    }
}

}  // namespace nuv
