#include "common/BrowserProfiles.h"

#include "common/FileText.h"
#include "common/Ini.h"

namespace nuv {

namespace {

std::string ConfigFolder(const BrowserFolders& f) {
    return f.configFolder.empty() ? f.homeFolder + ".config/" : f.configFolder;
}

}  // namespace

std::vector<std::string> FirefoxProfileRoots(const BrowserFolders& f) {
    const std::string& home = f.homeFolder;
    return {home + ".mozilla/firefox/", ConfigFolder(f) + "mozilla/firefox/",
            home + "snap/firefox/common/.mozilla/firefox/",
            home + ".var/app/org.mozilla.firefox/.mozilla/firefox/", home + ".librewolf/"};
}

std::vector<FirefoxProfile> FirefoxProfiles(const std::string& root) {
    std::vector<FirefoxProfile> profiles;
    const auto text = ReadFileText(root + "profiles.ini");
    if (!text) return profiles;
    const IniDocument ini(*text);
    for (const std::string& section : ini.Sections()) {
        const auto path = ini.Get(section, "Path");
        if (!path || path->empty()) continue;
        const bool relative = ini.GetInt(section, "IsRelative", 1) != 0;
        std::string folder = relative ? root + *path : *path;
        if (folder.back() != '/') folder += '/';
        profiles.push_back({ini.Get(section, "Name").value_or(std::string()), std::move(folder)});
    }
    return profiles;
}

std::vector<ChromiumBrowser> ChromiumFamily(const BrowserFolders& f) {
    const std::string config = ConfigFolder(f);
    const std::string& home = f.homeFolder;
    // (name, folder under the configuration folder, folders under home: snap and flatpak)
    struct Member {
        const char* name;
        const char* config;
        std::vector<const char*> home;
    };
    static const Member members[] = {
        {"chromium",
         "chromium",
         {"snap/chromium/common/chromium", ".var/app/org.chromium.Chromium/config/chromium"}},
        {"chrome", "google-chrome", {".var/app/com.google.Chrome/config/google-chrome"}},
        {"chrome-beta", "google-chrome-beta", {}},
        {"chrome-unstable", "google-chrome-unstable", {}},
        {"brave",
         "BraveSoftware/Brave-Browser",
         {".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser"}},
        {"edge", "microsoft-edge", {".var/app/com.microsoft.Edge/config/microsoft-edge"}},
        {"edge-beta", "microsoft-edge-beta", {}},
        {"edge-dev", "microsoft-edge-dev", {}},
        {"vivaldi", "vivaldi", {}},
        {"vivaldi-snapshot", "vivaldi-snapshot", {}},
        {"opera", "opera", {}},
        {"opera-beta", "opera-beta", {}},
        {"opera-developer", "opera-developer", {}},
        {"yandex", "yandex-browser", {}},
    };
    std::vector<ChromiumBrowser> family;
    for (const Member& m : members) {
        ChromiumBrowser browser{m.name, {config + m.config + "/"}};
        for (const char* folder : m.home) browser.folders.push_back(home + folder + "/");
        family.push_back(std::move(browser));
    }
    return family;
}

std::vector<std::string> ChromiumFamilyFolders(const BrowserFolders& f) {
    std::vector<std::string> folders;
    for (const ChromiumBrowser& browser : ChromiumFamily(f))
        folders.insert(folders.end(), browser.folders.begin(), browser.folders.end());
    return folders;
}

std::string ReadOnlyDatabaseUri(std::string_view path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "file:";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + "?mode=ro&immutable=1";
}

}  // namespace nuv
