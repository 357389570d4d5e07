#include "web/CurlDownloader.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "support/ScriptedServer.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using test::ScriptedServer;
using test::ServerConnection;

class CurlDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("nuv-dl-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }

    fs::path dir;
    CurlDownloader downloader;
};

TEST_F(CurlDownloaderTest, WritesTheWholeBodyFollowsRedirectsAndReportsProgress) {
    const std::string body(100000, 'x');
    ScriptedServer server([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        if (request->find("GET /old.png") == 0) {
            c.SendAndClose("HTTP/1.1 302 Found\r\nLocation: /new.png\r\nContent-Length: 0\r\n\r\n");
        } else {
            c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        }
    });
    int reports = 0;
    std::uint64_t last = 0;
    downloader.DownloadToFile(server.Url("/old.png"), (dir / "a.png").string(), [&](const DownloadProgress& p) {
        ++reports;
        last = p.progress;
    });
    EXPECT_EQ(Read(dir / "a.png"), body);
    EXPECT_GT(reports, 0);
    EXPECT_EQ(last, body.size());
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.png"});  // no temporary file left
}

TEST_F(CurlDownloaderTest, AFailedDownloadKeepsTheOlderFileAndLeavesNoTemporary) {
    ScriptedServer server([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        if (request->find("GET /missing") == 0) {
            c.SendAndClose("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
        } else {
            // Promises 1000 bytes, sends 10, then resets.
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
            c.Reset();
        }
    });
    std::ofstream(dir / "a.png") << "older good file";
    EXPECT_THROW(downloader.DownloadToFile(server.Url("/missing"), (dir / "a.png").string()), DownloadError);
    EXPECT_THROW(downloader.DownloadToFile(server.Url("/cut"), (dir / "a.png").string()), DownloadError);
    EXPECT_EQ(Read(dir / "a.png"), "older good file");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.png"});
    EXPECT_THROW(downloader.DownloadToFile(server.Url("/x"), (dir / "no" / "such" / "b.png").string()),
                 DownloadError);
}

}  // namespace
}  // namespace nuv
