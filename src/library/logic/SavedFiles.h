#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/SaveTargets.h"
#include "web/Downloader.h"  // the names of downloads in progress

// The rules of the saved-files list: which files of the save folder it shows, which
// entry becomes current, how the folder typed by the user is committed, which picture
// loader a file takes and how the selected files are deleted. Plain C++; the panel
// hands in the folders.
namespace nuv {

// Appends `folder` (ending in "/") followed by the name of every file of that folder to
// `files`, in the order the file system returns them, without clearing it first. Hidden
// files are listed; directories (and links to them) and downloads in progress are not,
// and subfolders are not entered. When `filter`, trimmed, is neither empty nor ".*",
// only names that contain `filter` (ASCII letters compared without case) are taken.
// An empty or unreadable folder appends nothing; a failure half-way keeps what was
// appended. Never throws.
void ListFolderFiles(const std::string& folder, std::string_view filter,
                     std::vector<std::string>& files);


// What the saved-files list shows for the listed `paths`: their file-name parts in the
// same order, and the index of the entry to make current. That is the index of the last
// entry whose name equals the file-name part of `curPicName` (exactly, case counts), or
// `picIndex` unchanged when no entry matches. It may lie past the end of the list.
struct SavedListEntries {
    std::vector<std::string> names;
    int picIndex = 0;
};
SavedListEntries SavedListFor(const std::vector<std::string>& paths, std::string_view curPicName,
                              int picIndex);

// Commits the text of the save-folder box: normalises `boxText` in place (see
// NormalizeFolderPath), creates the folder with its missing parents and returns the
// normalised folder. A relative text ("pics") and one that begins with "~" ("~",
// "~/pics") are taken under `homeFolder` (ending in "/"), so the box always names an
// absolute folder. Returns "" when the text is blank (left unchanged) or when no folder
// of that path exists afterwards (a file of that name, no permission).
std::string CommitSaveFolder(std::string& boxText, std::string_view homeFolder);

// The picture loader that the preview takes for a file, by the extension of its name
// (from the last "." of the name, compared in upper case).
enum class PreviewLoader {
    Jpeg,    // ".JPG", ".JPEG"
    Bitmap,  // ".BMP"
    Png,     // ".PNG"
    Any,     // every other extension, and none
};
PreviewLoader PreviewLoaderFor(std::string_view path);

// How the selected saved files went. Each file is moved to the desktop's trash; only a
// file that cannot go there is deleted for good; one that cannot be deleted either stays.
struct DeleteReport {
    int trashed = 0;
    int deletedForGood = 0;
    int kept = 0;
};
using FileAction = std::function<bool(const std::string& path)>;

// Deletes the files `names` of the folder `folderText` (the box text, not committed: the
// path is the text, "/" and the name). `moveToTrash` and `removeForGood` report success.
// Never throws; an action that throws counts as failed.
DeleteReport DeleteSavedFiles(std::string_view folderText, const std::vector<std::string>& names,
                              const FileAction& moveToTrash, const FileAction& removeForGood);

// The hint-bar text after a deletion, "" when every file went to the trash or stayed.
std::string DeleteReportHint(const DeleteReport& report);

}  // namespace nuv
