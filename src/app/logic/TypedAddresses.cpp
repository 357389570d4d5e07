#include "app/logic/TypedAddresses.h"

#include <algorithm>
#include <filesystem>

#include <sqlite3.h>

#include "common/BrowserProfiles.h"
#include "common/FileText.h"
#include "common/Text.h"

namespace nuv {
namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

class Collector {
public:
    Collector(std::vector<std::string>& list, bool webOnly) : list_(list), webOnly_(webOnly) {}

    void Add(std::string_view address) {
        if (webOnly_) {
            // Only the first eight bytes decide; no need to lower-case a long address.
            const std::string head = LowerAscii(address.substr(0, 8));
            if (!StartsWith(head, "http://") && !StartsWith(head, "https://")) return;
        }
        list_.emplace_back(address);
    }

    // Every text of the first column of `sql` over the database `file`, opened read-only
    // and immutable. Stops quietly at the first error.
    void AddFromDatabase(const fs::path& file, const char* sql) {
        if (!IsFile(file)) return;
        const std::string uri = ReadOnlyDatabaseUri(file.string());
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
                while (sqlite3_step(statement) == SQLITE_ROW) {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                    if (text != nullptr)
                        Add(std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(statement, 0))));
                }
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
    }

private:
    std::vector<std::string>& list_;
    bool webOnly_;
};

}  // namespace

void ReadTypedAddresses(std::vector<std::string>& list, bool webOnly, const TypedAddressSources& sources) {
    Collector collect(list, webOnly);
    if (!sources.homeFolder.empty()) {
        const BrowserFolders folders{sources.homeFolder, sources.configFolder};
        for (const std::string& root : FirefoxProfileRoots(folders)) {
            for (const FirefoxProfile& profile : FirefoxProfiles(root))
                collect.AddFromDatabase(profile.folder + "places.sqlite", "SELECT url FROM moz_places WHERE typed = 1");
        }
        for (const std::string& folder : ChromiumFamilyFolders(folders)) {
            const char* sql = "SELECT url FROM urls WHERE typed_count > 0";
            collect.AddFromDatabase(fs::path(folder) / "History", sql);
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                collect.AddFromDatabase(it->path() / "History", sql);
        }
    }
    if (!sources.recentFile.empty()) {
        if (const auto text = ReadFileText(sources.recentFile))
            for (const std::string& address : ParseRecentAddresses(*text)) collect.Add(address);
    }
    // Alphabetical without regard to case, as the drop-down lists them; addresses that
    // differ only in case keep a fixed order (by bytes), and equal ones sit side by side.
    std::sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
        const auto less = [](char x, char y) {
            return static_cast<unsigned char>(LowerAsciiChar(x)) < static_cast<unsigned char>(LowerAsciiChar(y));
        };
        if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return true;
        if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return false;
        return a < b;
    });
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

std::vector<std::string> ParseRecentAddresses(std::string_view text) {
    std::vector<std::string> recent;
    for (const std::string& line : SplitLines(text)) {
        std::string address = Trim(line);
        if (address.empty()) continue;
        recent.push_back(std::move(address));
        if (recent.size() == RecentAddressLimit) break;
    }
    return recent;
}

std::string FormatRecentAddresses(const std::vector<std::string>& recent) {
    std::string text;
    for (const std::string& address : recent) text += address + "\n";
    return text;
}

void RememberAddress(std::vector<std::string>& recent, std::string_view address) {
    const std::string a = Trim(address);
    if (a.empty() || Contains(a, "\n") || Contains(a, "\r")) return;
    recent.erase(std::remove(recent.begin(), recent.end(), a), recent.end());
    recent.insert(recent.begin(), a);
    if (recent.size() > RecentAddressLimit) recent.resize(RecentAddressLimit);
}

void RecordRecentAddress(const std::string& file, std::string_view address) {
    std::vector<std::string> recent = ParseRecentAddresses(ReadFileText(file).value_or(std::string()));
    RememberAddress(recent, address);
    const fs::path folder = fs::path(file).parent_path();
    std::error_code ec;
    if (!folder.empty()) fs::create_directories(folder, ec);
    WriteFileAtomically(file, FormatRecentAddresses(recent));
}

}  // namespace nuv
