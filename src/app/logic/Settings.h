#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Ini.h"

// The main window's settings file: where it lives, what it holds and in which order the
// keys are read and written.
namespace nuv {

inline constexpr std::string_view SettingsFileName = "defualt.ini";  // spelled so
inline constexpr std::string_view SettingsSection = "default";
// Beside the settings: the addresses last opened from the address box.
inline constexpr std::string_view RecentAddressesFileName = "typedurls.txt";
// The per-user folder under the configuration folder and the download folder.
inline constexpr std::string_view UserFolderName = "nuv-webextract";

// The seven keys of the section "default", and one of this program's own.
struct Settings {
    std::string PicPath;          // the save-folder box's text
    std::string URLPath;          // the address box's text
    std::string DefaultSavePath;  // the folder last chosen for a save-all-as
    int DocType = 0;              // the selected document type, -1 for none
    int LeftPanelWidth = 180;     // width of the left column
    bool CbPath = false;          // the save-folder bar is shown
    std::string CurPicName;       // the saved file selected last
    bool ShownPictures = true;    // "图片提取" adds the pictures the page shows (key absent: on)
    bool ScrollToLoad = false;    // "图片提取" first scrolls the page to its end (key absent: off)
};

// First-run values: both folders `defaultSaveFolder`, the address `homeAddress`,
// document type 0, a left column 180 wide, the save-folder bar hidden, no file name.
Settings DefaultSettings(std::string_view defaultSaveFolder, std::string_view homeAddress);

// The widest left column a settings file can ask for.
inline constexpr int kMaxPanelWidth = 16384;

// The keys of the section "default" of `ini`; a missing key, or a number that does not
// read as one, gives the value of `defaults`. LeftPanelWidth is clamped to
// 0..kMaxPanelWidth.
Settings ReadSettings(const IniDocument& ini, const Settings& defaults);

// Writes the seven keys into the section "default" of `ini`, in the order PicPath,
// URLPath, DefaultSavePath, CurPicName, DocType, LeftPanelWidth, CbPath, then
// ShownPictures and ScrollToLoad, each when it differs from its default or the file holds
// it already;
// everything else in `ini` stays.
void WriteSettings(IniDocument& ini, const Settings& settings);

// The row of the document-type list a stored `DocType` selects: itself for 0 to 5,
// -1 (nothing selected) for any other number.
int DocTypeRow(int storedDocType);

// Where the settings are read and written.
struct SettingsLocation {
    std::vector<std::string> readFiles;  // read at start in this order, a later one overriding
    std::string writeFile;               // the file written at a normal end
    std::string recentFile;              // the recent addresses, beside writeFile
    std::string defaultSaveFolder;       // default of PicPath and DefaultSavePath, no trailing "/"
};

// The rule: the program's folder when it is writable, with the save folder "web" in it.
// Otherwise the per-user folder `configFolder` + "nuv-webextract/" and the save folder
// `downloadFolder` + "nuv-webextract"; a settings file that exists in the program's
// folder is then read first, and the per-user file read after it overrides it key by
// key, so that what the user changed is not lost at the next start. Every folder passed
// in ends in "/".
SettingsLocation LocateSettings(const std::string& programFolder, bool programFolderWritable,
                                bool programFileExists, const std::string& configFolder,
                                const std::string& downloadFolder);

// Reads `location.readFiles` in order over `defaults`; missing files are skipped.
Settings LoadSettingsFiles(const SettingsLocation& location, const Settings& defaults);

// Writes `settings` into `location.writeFile`, keeping whatever else that file holds,
// through a temporary file renamed over it; creates the per-user folder when needed.
// Throws std::runtime_error when the file cannot be written.
void SaveSettingsFile(const SettingsLocation& location, const Settings& settings);

// The program's own files, which a download never replaces wherever the save folder is:
// the settings and recent-addresses files of `location`, the program `programPath`, and
// in `programFolder` the settings, recent addresses, updater and hand-over files and both
// programs.
std::vector<std::string> ProgramOwnFiles(const SettingsLocation& location, const std::string& programFolder,
                                         const std::string& programPath);

// LocateSettings with the program's folder looked at on disk.
SettingsLocation FindSettingsLocation(const std::string& programFolder, const std::string& configFolder,
                                      const std::string& downloadFolder);

}  // namespace nuv
