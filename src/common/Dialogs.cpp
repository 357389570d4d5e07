#include "common/Dialogs.h"

#include <filesystem>
#include <system_error>

#include "common/Guard.h"

namespace nuv {

std::string SelectFolder(IDialogs& dialogs, std::string_view folder, std::string_view homeFolder) {
    try {
        std::error_code ec;
        const bool isFolder = !folder.empty() && std::filesystem::is_directory(std::string(folder), ec) && !ec;
        return dialogs.BrowseForFolder(std::string(isFolder ? folder : homeFolder), std::string());
    } catch (...) {
        NoteSwallowed();
        return {};
    }
}

}  // namespace nuv
