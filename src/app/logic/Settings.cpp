#include "app/logic/Settings.h"

#include <algorithm>
#include <filesystem>

#include <unistd.h>

#include "common/FileText.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "frame/logic/UpdateRules.h"

namespace nuv {

Settings DefaultSettings(std::string_view defaultSaveFolder, std::string_view homeAddress) {
    Settings s;
    s.PicPath = std::string(defaultSaveFolder);
    s.URLPath = std::string(homeAddress);
    s.DefaultSavePath = std::string(defaultSaveFolder);
    return s;
}

Settings ReadSettings(const IniDocument& ini, const Settings& defaults) {
    const std::string_view sec = SettingsSection;
    Settings s;
    s.PicPath = ini.Get(sec, "PicPath").value_or(defaults.PicPath);
    s.URLPath = ini.Get(sec, "URLPath").value_or(defaults.URLPath);
    s.DefaultSavePath = ini.Get(sec, "DefaultSavePath").value_or(defaults.DefaultSavePath);
    s.DocType = ini.GetInt(sec, "DocType", defaults.DocType);
    // No screen is wider; the window's own arithmetic then cannot overflow.
    s.LeftPanelWidth = std::clamp(ini.GetInt(sec, "LeftPanelWidth", defaults.LeftPanelWidth), 0, kMaxPanelWidth);
    s.CbPath = ini.GetBool(sec, "CbPath", defaults.CbPath);
    s.CurPicName = ini.Get(sec, "CurPicName").value_or(defaults.CurPicName);
    s.ShownPictures = ini.GetBool(sec, "ShownPictures", defaults.ShownPictures);
    s.ScrollToLoad = ini.GetBool(sec, "ScrollToLoad", defaults.ScrollToLoad);
    return s;
}

void WriteSettings(IniDocument& ini, const Settings& s) {
    const std::string_view sec = SettingsSection;
    ini.Set(sec, "PicPath", s.PicPath);
    ini.Set(sec, "URLPath", s.URLPath);
    ini.Set(sec, "DefaultSavePath", s.DefaultSavePath);
    ini.Set(sec, "CurPicName", s.CurPicName);
    ini.SetInt(sec, "DocType", s.DocType);
    ini.SetInt(sec, "LeftPanelWidth", s.LeftPanelWidth);
    ini.SetBool(sec, "CbPath", s.CbPath);
    // A file of a run that never changed the option stays as it was.
    const Settings usual;
    if (s.ShownPictures != usual.ShownPictures || ini.Get(sec, "ShownPictures"))
        ini.SetBool(sec, "ShownPictures", s.ShownPictures);
    if (s.ScrollToLoad != usual.ScrollToLoad || ini.Get(sec, "ScrollToLoad"))
        ini.SetBool(sec, "ScrollToLoad", s.ScrollToLoad);
}

int DocTypeRow(int storedDocType) { return storedDocType >= 0 && storedDocType <= 5 ? storedDocType : -1; }

SettingsLocation LocateSettings(const std::string& programFolder, bool programFolderWritable,
                                bool programFileExists, const std::string& configFolder,
                                const std::string& downloadFolder) {
    SettingsLocation l;
    const std::string programFile = programFolder + std::string(SettingsFileName);
    if (programFolderWritable) {
        l.readFiles = {programFile};
        l.writeFile = programFile;
        l.recentFile = programFolder + std::string(RecentAddressesFileName);
        l.defaultSaveFolder = programFolder + "web";
        return l;
    }
    const std::string userFolder = configFolder + std::string(UserFolderName) + "/";
    l.writeFile = userFolder + std::string(SettingsFileName);
    if (programFileExists) l.readFiles.push_back(programFile);
    l.readFiles.push_back(l.writeFile);
    l.recentFile = userFolder + std::string(RecentAddressesFileName);
    l.defaultSaveFolder = downloadFolder + std::string(UserFolderName);
    return l;
}

Settings LoadSettingsFiles(const SettingsLocation& location, const Settings& defaults) {
    Settings s = defaults;
    for (const std::string& file : location.readFiles) {
        if (const auto text = ReadFileText(file)) s = ReadSettings(IniDocument(*text), s);
    }
    return s;
}

void SaveSettingsFile(const SettingsLocation& location, const Settings& settings) {
    const std::filesystem::path folder = std::filesystem::path(location.writeFile).parent_path();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    IniDocument ini(ReadFileText(location.writeFile).value_or(std::string()));
    WriteSettings(ini, settings);
    WriteFileAtomically(location.writeFile, ini.ToString());
}

SettingsLocation FindSettingsLocation(const std::string& programFolder, const std::string& configFolder,
                                      const std::string& downloadFolder) {
    const bool writable = ::access(programFolder.c_str(), W_OK | X_OK) == 0 && !IsSharedProgramFolder(programFolder);
    const bool exists = ::access((programFolder + std::string(SettingsFileName)).c_str(), F_OK) == 0;
    return LocateSettings(programFolder, writable, exists, configFolder, downloadFolder);
}

std::vector<std::string> ProgramOwnFiles(const SettingsLocation& location, const std::string& programFolder,
                                         const std::string& programPath) {
    static_assert(kProgramFileNames[0] == SettingsFileName && kProgramFileNames[1] == RecentAddressesFileName &&
                  kProgramFileNames[2] == UpdaterFileName && kProgramFileNames[3] == HandOverFileName);
    std::vector<std::string> own{location.writeFile, location.recentFile, programPath};
    for (std::string_view name : kProgramFileNames) own.push_back(programFolder + std::string(name));
    return own;
}

}  // namespace nuv
