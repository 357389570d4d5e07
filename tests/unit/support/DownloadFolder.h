#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "web/CurlDownloader.h"

namespace nuv::test {

// A test with a real downloader and a fresh folder of its own to download into, removed
// afterwards.
class DownloadFolderTest : public ::testing::Test {
protected:
    static std::string Read(const std::filesystem::path& p) { return ReadFile(p); }
    // The names in the folder, in the order the file system gives them.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }

    TempFolder own{"nuv-dl"};
    std::filesystem::path dir = own.Dir();
    CurlDownloader downloader;
};

}  // namespace nuv::test
