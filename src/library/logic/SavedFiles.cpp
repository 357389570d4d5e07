#include "library/logic/SavedFiles.h"

#include <filesystem>
#include <system_error>

#include "common/Guard.h"
#include "common/Paths.h"
#include "common/Text.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

bool Tries(const FileAction& action, const std::string& path) {
    try {
        return action && action(path);
    } catch (...) {
        NoteSwallowed();
        return false;
    }
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
}

}  // namespace

void ListFolderFiles(const std::string& folder, std::string_view filter,
                     std::vector<std::string>& files) {
    try {
        if (folder.empty()) return;
        const std::string_view trimmed = TrimView(filter);
        const bool filtered = !trimmed.empty() && trimmed != ".*";
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            // The entry's type comes with the directory listing; only links are followed.
            std::error_code typeError;
            if (it->is_directory(typeError)) continue;
            const std::string name = it->path().filename().string();
            if (IsPartialDownloadName(name)) continue;
            if (filtered && !ContainsNoCase(name, filter)) continue;
            files.push_back(folder + name);
        }
    } catch (...) {
        NoteSwallowed();
    }
}

SavedListEntries SavedListFor(const std::vector<std::string>& paths, std::string_view curPicName,
                              int picIndex) {
    SavedListEntries entries;
    entries.picIndex = picIndex;
    entries.names.reserve(paths.size());
    const std::string_view current = FileNamePart(curPicName);
    for (const std::string& path : paths) {
        const std::string_view name = FileNamePart(path);
        if (name == current) entries.picIndex = static_cast<int>(entries.names.size());
        entries.names.emplace_back(name);
    }
    return entries;
}

std::string CommitSaveFolder(std::string& boxText, std::string_view homeFolder) {
    try {
        const std::string_view typed = TrimView(boxText);
        if (typed.empty()) return {};
        if (typed.front() != '/') {
            std::string_view rest = typed;
            if (rest == "~") rest = {};
            else if (StartsWith(rest, "~/")) rest.remove_prefix(2);
            boxText = std::string(homeFolder) + "/" + std::string(rest);
        }
        NormalizeFolderPath(boxText);
        std::error_code ec;
        if (!fs::is_directory(boxText, ec)) fs::create_directories(boxText, ec);
        if (!fs::is_directory(boxText, ec)) return {};
        return boxText;
    } catch (...) {
        NoteSwallowed();
        return {};
    }
}

PreviewLoader PreviewLoaderFor(std::string_view path) {
    const std::string_view name = FileNamePart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return PreviewLoader::Any;
    const std::string extension = UpperAscii(name.substr(dot));
    if (extension == ".JPG" || extension == ".JPEG") return PreviewLoader::Jpeg;
    if (extension == ".BMP") return PreviewLoader::Bitmap;
    if (extension == ".PNG") return PreviewLoader::Png;
    return PreviewLoader::Any;
}

DeleteReport DeleteSavedFiles(std::string_view folderText, const std::vector<std::string>& names,
                              const FileAction& moveToTrash, const FileAction& removeForGood) {
    DeleteReport report;
    for (const std::string& name : names) {
        std::string path(folderText);
        path += '/';
        path += name;
        if (Tries(moveToTrash, path)) {
            ++report.trashed;
        } else if (Tries(removeForGood, path)) {
            ++report.deletedForGood;
        } else {
            ++report.kept;
        }
    }
    return report;
}

std::string DeleteReportHint(const DeleteReport& report) {
    if (report.deletedForGood == 0) return {};
    return "没有可用的回收站，已永久删除" + std::to_string(report.deletedForGood) + "个文件";
}

}  // namespace nuv
