#pragma once

#include <string>
#include <utility>
#include <vector>

// Browser history databases as the browsers write them, made by tests and benchmarks
// under a home folder of their own.
namespace nuv::test {

// A new empty folder under the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }  // ends in "/"

private:
    std::string path_;
};

// (address, typed) of a Firefox place; (address, typed_count) of a Chromium url.
using HistoryRows = std::vector<std::pair<std::string, int>>;

// A Firefox profile `profile` (a folder name) under `home`/.mozilla/firefox/, listed in
// that folder's profiles.ini (added as the next [ProfileN]), with a places.sqlite
// whose moz_places holds `places`.
void MakeFirefoxProfile(const std::string& home, const std::string& profile, const HistoryRows& places);

// A Chromium-family "History" database at `file` (its folders created) whose urls
// table holds `urls`.
void MakeChromiumHistory(const std::string& file, const HistoryRows& urls);

// Writes `content` to `file`, creating its folders.
void WriteTextFile(const std::string& file, const std::string& content);

}  // namespace nuv::test
