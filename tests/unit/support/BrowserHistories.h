#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/Files.h"

// Browser history databases as the browsers write them, made by tests and benchmarks
// under a home folder of their own.
namespace nuv::test {

// (address, typed) of a Firefox place; (address, typed_count) of a Chromium url.
using HistoryRows = std::vector<std::pair<std::string, int>>;

// A Firefox profile `profile` (a folder name) under `home`/.mozilla/firefox/, listed in
// that folder's profiles.ini (added as the next [ProfileN]), with a places.sqlite
// whose moz_places holds `places`.
void MakeFirefoxProfile(const std::string& home, const std::string& profile, const HistoryRows& places);

// A Chromium-family "History" database at `file` (its folders created) whose urls
// table holds `urls`.
void MakeChromiumHistory(const std::string& file, const HistoryRows& urls);

// A database at `file` (its folders created) made by the statements of `sql`, such as a
// browser's cookies from the test data.
void MakeDatabaseOf(const std::string& file, const std::string& sql);

}  // namespace nuv::test
