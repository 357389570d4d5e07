#include "web/CurlDownloader.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include <gtest/gtest.h>

#include "support/DownloadFolder.h"

#include "support/FixedCookies.h"
#include "support/ScriptedServer.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using test::ScriptedServer;
using test::ServerConnection;

using CurlDownloaderTest = test::DownloadFolderTest;

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

TEST_F(CurlDownloaderTest, SuccessiveDownloadsReuseTheConnectionAndNestedOnesGetTheirOwn) {
    ScriptedServer keepAlive([&](ServerConnection& c) {
        while (c.ReadRequest()) c.Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
    });
    ScriptedServer other([&](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\ninner");
    });
    downloader.DownloadToFile(keepAlive.Url("/1.gif"), (dir / "1.gif").string());
    downloader.DownloadToFile(keepAlive.Url("/2.gif"), (dir / "2.gif").string());
    EXPECT_EQ(keepAlive.ConnectionCount(), 1);

    // A progress report may start another download on the same downloader (the window
    // handles a click while it waits).
    bool nested = false;
    downloader.DownloadToFile(keepAlive.Url("/3.gif"), (dir / "3.gif").string(), [&](const DownloadProgress&) {
        if (nested) return;
        nested = true;
        downloader.DownloadToFile(other.Url("/in.gif"), (dir / "in.gif").string());
    });
    EXPECT_TRUE(nested);
    EXPECT_EQ(Read(dir / "3.gif"), "abc");
    EXPECT_EQ(Read(dir / "in.gif"), "inner");

}


TEST_F(CurlDownloaderTest, SendsTheRequestAsTheBrowserWouldAndNamesNoDownloadInProgress) {
    std::vector<std::string> requests;
    std::mutex m;
    ScriptedServer server([&](ServerConnection& c) {
        while (const auto request = c.ReadRequest()) {
            {
                std::lock_guard<std::mutex> lock(m);
                requests.push_back(*request);
            }
            c.Send("HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n");
            c.Send(std::string(70000, 'p'));
        }
    });
    test::FixedCookies cookies;
    cookies.lines = {{"127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc"},
                     {"other.example\tFALSE\t/\tFALSE\t0\tforeign\tno"}};
    downloader.SetCookieSource(&cookies);
    downloader.SetPageAddress([&] { return server.Url("/sp%20ace/page.html#top"); });

    // A name of 250 bytes, and the folder as a listing sees it while the body arrives.
    const std::string longName = std::string(246, 'n') + ".gif";
    std::vector<std::string> seenWhileLoading;
    downloader.DownloadToFile(server.Url("/sp ace/\xe5\x9b\xbe%41.gif"), (dir / longName).string(),
                              [&](const DownloadProgress& p) {
                                  if (p.progress > 0 && p.progress < 70000 && seenWhileLoading.empty())
                                      seenWhileLoading = Entries();
                              });
    EXPECT_EQ(Read(dir / longName).size(), 70000u);
    EXPECT_TRUE(seenWhileLoading.empty()) << seenWhileLoading.front();
    EXPECT_EQ(Entries(), std::vector<std::string>{longName});
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].find("GET /sp%20ace/%E5%9B%BE%41.gif HTTP/1.1\r\n"), 0u) << requests[0];
    EXPECT_NE(requests[0].find("\r\nCookie: session=abc\r\n"), std::string::npos) << requests[0];
    EXPECT_EQ(requests[0].find("foreign"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nReferer: " + server.Url("/sp%20ace/page.html") + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace nuv
