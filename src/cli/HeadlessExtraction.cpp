#include "cli/HeadlessExtraction.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QDateTime>
#include <QNetworkCookie>
#include <QUrl>

#include "cli/HeadlessRun.h"
#include "cli/TerminalProgress.h"
#include "cli/logic/CookieFile.h"
#include "cli/logic/PageBatch.h"
#include "cli/logic/ProfileCookies.h"
#include "common/Paths.h"
#include "common/Product.h"
#include "common/SaveTargets.h"
#include "platform/QtText.h"
#include "save/DownloadArchive.h"
#include "save/ZipWriter.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;

// The save folder ending in "/": the one given, made absolute and created when
// missing, or a new private temporary one that `temp` removes at exit. Returns "" and
// sets `error` when there is none.
std::string PrepareSaveFolder(const std::string& given, std::unique_ptr<QTemporaryDir>& temp, std::string& error) {
    std::string folder;
    if (given.empty()) {
        temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/nuv-extract-XXXXXX"));
        if (!temp->isValid()) {
            error = "cannot create a temporary folder: " + ToUtf8(temp->errorString());
            return {};
        }
        folder = ToUtf8(temp->path());
    } else {
        std::error_code ec;
        const fs::path path = fs::absolute(fs::path(given), ec).lexically_normal();
        if (ec) {
            error = "cannot use " + given + " as the save folder: " + ec.message();
            return {};
        }
        if (!fs::is_directory(path, ec)) fs::create_directories(path, ec);
        if (!fs::is_directory(path)) {
            error = "cannot use " + given + " as the save folder: " +
                    (ec ? ec.message() : std::string("it is not a folder"));
            return {};
        }
        folder = path.string();
    }
    NormalizeFolderPath(folder);
    return folder;
}

// The text of the -i file ("-": standard input). Returns false and sets `error` when it
// cannot be read.
bool ReadListFile(const std::string& name, std::string& text, std::string& error) {
    if (name == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
        return true;
    }
    std::ifstream in(name, std::ios::binary);
    if (in) {
        std::ostringstream all;
        all << in.rdbuf();
        if (!in.bad()) {
            text = all.str();
            return true;
        }
    }
    error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
}

// The program's own files: in the program's folder, and the per-user settings of the window.
std::vector<std::string> ProgramFiles() {
    std::string folder = ToUtf8(QCoreApplication::applicationDirPath());
    NormalizeFolderPath(folder);
    std::vector<std::string> files{ToUtf8(QCoreApplication::applicationFilePath())};
    for (std::string_view name : kProgramFileNames) files.push_back(folder + std::string(name));
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string user = UserConfigFolder(UserHomeFolder(), xdg ? xdg : "") + "nuv-webextract/";
    for (std::string_view name : {kProgramFileNames[0], kProgramFileNames[1]}) files.push_back(user + std::string(name));
    return files;
}

// Adds `cookies` to those the run puts into the engine's cookie store, from which the
// downloads take them too, so that each goes where a browser would send it.
void PutCookies(const std::vector<FileCookie>& cookies, GivenCookies& given) {
    for (const FileCookie& c : cookies) {
        QNetworkCookie cookie(QByteArray::fromStdString(c.name), QByteArray::fromStdString(c.value));
        // A cookie of the host alone has no domain of its own; one for its subdomains too has.
        if (c.subdomains) cookie.setDomain(FromUtf8("." + c.domain));
        cookie.setPath(FromUtf8(c.path));
        cookie.setSecure(c.secure);
        cookie.setHttpOnly(c.httpOnly);
        switch (c.sameSite) {
            case SameSite::None: cookie.setSameSitePolicy(QNetworkCookie::SameSite::None); break;
            case SameSite::Lax: cookie.setSameSitePolicy(QNetworkCookie::SameSite::Lax); break;
            case SameSite::Strict: cookie.setSameSitePolicy(QNetworkCookie::SameSite::Strict); break;
            case SameSite::Unset: break;
        }
        if (c.expires > 0) cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(c.expires));
        given.emplace_back(cookie, QUrl(FromUtf8((c.secure ? "https://" : "http://") + c.domain + "/")));
    }
}

// The cookies of the cookie file `name`. Returns false and sets `error` when the file
// cannot be read or holds no cookie.
bool LoadCookieFile(const std::string& name, GivenCookies& given, std::string& error) {
    std::string text;
    if (!ReadListFile(name, text, error)) return false;
    std::size_t skipped = 0;
    const std::vector<FileCookie> cookies = ParseCookieFile(text, static_cast<std::int64_t>(std::time(nullptr)), &skipped);
    if (cookies.empty()) {
        error = name + " holds no cookie that has not expired" +
                (skipped > 0 ? " (" + std::to_string(skipped) + " lines are not cookie-file lines)" : std::string());
        return false;
    }
    PutCookies(cookies, given);
    return true;
}

// The cookies of the browser profile `which`. The values it could not decrypt are named
// on standard error; the run goes on without them. Returns false and sets `error` when
// the profile cannot be read or gives no cookie at all.
bool LoadProfileCookies(const CookieBrowser& which, GivenCookies& given, std::string& error) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string home = UserHomeFolder();
    ProfileCookies read;
    try {
        read = ReadProfileCookies(which, {home, UserConfigFolder(home, xdg ? xdg : "")},
                                  static_cast<std::int64_t>(std::time(nullptr)));
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    if (!read.undecryptable.empty()) {
        constexpr size_t kNamed = 10;
        std::string names;
        for (size_t i = 0; i < read.undecryptable.size() && i < kNamed; ++i)
            names += (i > 0 ? ", " : "") + read.undecryptable[i];
        if (read.undecryptable.size() > kNamed) names += ", ...";
        PrintCliError("--cookies-from-browser: " + std::to_string(read.undecryptable.size()) + " of the cookies in " +
                      read.database + " could not be decrypted (their key is in the desktop's keyring) and are left out: " +
                      names);
    }
    if (read.cookies.empty()) {
        error = read.database + " holds no cookie that could be used";
        return false;
    }
    PutCookies(read.cookies, given);
    return true;
}

}  // namespace

int RunExtractCli(const ExtractCliOptions& options) {
    TerminalProgress progress(!options.quiet && isatty(STDERR_FILENO) == 1);

    std::unique_ptr<QTemporaryDir> temp;
    std::string error;
    const std::string folder = PrepareSaveFolder(options.saveTo, temp, error);
    if (folder.empty()) {
        PrintCliError(error);
        return static_cast<int>(CliExit::Usage);
    }
    std::string listText;
    if (!options.inputFile.empty() && !ReadListFile(options.inputFile, listText, error)) {
        PrintCliError(error);
        return static_cast<int>(CliExit::Usage);
    }
    const std::vector<std::string> listed = ParseAddressList(listText, &error);
    if (!error.empty()) {
        PrintCliError((options.inputFile == "-" ? std::string("standard input") : options.inputFile) + ": " + error);
        return static_cast<int>(CliExit::Usage);
    }
    std::vector<std::string> addresses = RunAddresses(options.addresses, listed, options.shard);
    std::unique_ptr<DownloadArchive> archive;
    if (!options.archive.empty()) {
        try {
            archive = std::make_unique<DownloadArchive>(options.archive);
        } catch (const std::exception& e) {
            PrintCliError("cannot use " + options.archive + " as the archive: " + e.what());
            return static_cast<int>(CliExit::Usage);
        }
    }
    // --zip: the files are written into the private temporary folder, each moved into the
    // ZIP once complete; the ZIP is complete once the run has ended, however it ended.
    std::unique_ptr<ZipWriter> zip;
    if (!options.zip.empty()) {
        std::error_code ec;
        const std::string path = fs::absolute(fs::path(options.zip), ec).lexically_normal().string();
        if (ec || ProtectedFiles(ProgramFiles()).Protects(path)) {
            PrintCliError("cannot use " + options.zip + " as the ZIP file" + (ec ? ": " + ec.message() : std::string()));
            return static_cast<int>(CliExit::Usage);
        }
        try {
            zip = std::make_unique<ZipWriter>(path, IsOrderedZipName(path));
        } catch (const std::exception& e) {
            PrintCliError("cannot write " + options.zip + ": " + e.what());
            return static_cast<int>(CliExit::Usage);
        }
    }
    GivenCookies given;
    if (!options.cookies.empty() && !LoadCookieFile(options.cookies, given, error)) {
        PrintCliError("--cookies: " + error);
        return static_cast<int>(CliExit::Usage);
    }
    if (options.cookiesFromBrowser && !LoadProfileCookies(*options.cookiesFromBrowser, given, error)) {
        PrintCliError("--cookies-from-browser: " + error);
        return static_cast<int>(CliExit::Usage);
    }
    const int status = RunPages(options, std::move(addresses), folder, archive.get(), zip.get(), ProgramFiles(), progress,
                                given);
    if (zip) {
        if (const std::string why = zip->Close(); !why.empty()) {
            PrintCliError("the ZIP file " + options.zip + " is not complete: " + why);
            if (status == static_cast<int>(CliExit::Ok)) return static_cast<int>(CliExit::DownloadsFailed);
        }
    }
    return status;
}

}  // namespace nuv
