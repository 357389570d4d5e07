#include "web/CurlDownloader.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <mutex>
#include <optional>

#include <gtest/gtest.h>

#include "save/DownloadBatch.h"
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

// A download held to some hosts (the updater's, to the maker's) follows a redirect only
// where its rule allows; another fails as refused before anything is asked of that host.
TEST_F(CurlDownloaderTest, ARedirectRuleKeepsTheDownloadWhereItAllows) {
    ScriptedServer other([](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nother");
    });
    ScriptedServer site([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        const std::string to = request->find("GET /away") == 0 ? other.Url("/b.bin") : "/here.bin";
        if (request->find("GET /here.bin") == 0) {
            c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nhere");
        } else {
            c.SendAndClose("HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n");
        }
    });
    std::vector<std::string> asked;
    downloader.SetRedirectRule([&](const std::string& next) {
        asked.push_back(next);
        return next.rfind(site.Url("/"), 0) == 0;
    });
    try {
        downloader.DownloadToFile(site.Url("/away"), (dir / "a.bin").string());
        ADD_FAILURE() << "followed";
    } catch (const DownloadError& e) {
        EXPECT_EQ(e.kind(), DownloadFailure::Refused) << e.what();
    }
    EXPECT_EQ(other.ConnectionCount(), 0);
    downloader.DownloadToFile(site.Url("/stay"), (dir / "b.bin").string());
    EXPECT_EQ(Read(dir / "b.bin"), "here");
    EXPECT_EQ(asked, (std::vector<std::string>{other.Url("/b.bin"), site.Url("/here.bin")}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"b.bin"});
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


// The browser's cookies, counting how often they are read; they change with `generation`.
struct CountingCookies : test::FixedCookies {
    mutable int reads = 0;
    std::uint64_t generation = 1;
    std::vector<CookieLine> CookieLines() const override {
        ++reads;
        return lines;
    }
    std::optional<std::uint64_t> Generation() const override { return generation; }
};

TEST_F(CurlDownloaderTest, ABatchRunsSideBySideWithTheBrowsersCookiesReadOnce) {
    ScriptedServer server([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        const std::string path = request->substr(4, request->find(' ', 4) - 4);
        std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        std::string body = path;
        if (path == "/missing.png") head = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n";
        if (path == "/move.png") head = "HTTP/1.1 302 Found\r\nLocation: /moved.png\r\nConnection: close\r\n";
        if (path == "/set.png") head += "Set-Cookie: leak=1; Path=/\r\n";
        c.SendAndClose(head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    CountingCookies cookies;
    cookies.lines = {{"127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc"}};
    downloader.SetCookieSource(&cookies);
    downloader.SetSlots(3);
    std::ofstream(dir / "missing.png") << "older good file";
    const std::string page = server.Url("/page.html");
    std::vector<std::string> names = {"set.png", "missing.png", "move.png"};
    for (int i = 0; i < 12; ++i) names.push_back(std::to_string(i) + ".png");
    std::vector<DownloadBatch::Result> results;
    {
        DownloadBatch batch(downloader);
        for (const std::string& name : names) batch.Add(server.Url("/" + name), (dir / name).string(), page);
        batch.Add("file:///etc/passwd", (dir / "passwd").string(), page);
        results = batch.Finish();
    }
    ASSERT_EQ(results.size(), names.size() + 1);
    EXPECT_EQ(results[1].failure, DownloadFailure::Http);
    EXPECT_EQ(results.back().failure, DownloadFailure::Refused);
    EXPECT_EQ(Read(dir / "missing.png"), "older good file");
    EXPECT_EQ(Read(dir / "move.png"), "/moved.png");
    for (std::size_t i = 3; i < names.size(); ++i) {
        EXPECT_TRUE(results[i].saved) << names[i];
        EXPECT_EQ(Read(dir / names[i]), "/" + names[i]);
        EXPECT_EQ(results[i].size, names[i].size() + 1);
    }
    std::vector<std::string> entries = Entries();
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries, expected);  // nothing half-written, no temporary names

    // Every request as the browser's own for the page: its cookie and Referer, and never
    // the cookie a download's answer set.
    const std::vector<std::string> requests = server.Requests();
    EXPECT_EQ(requests.size(), names.size() + 1);
    for (const std::string& r : requests) {
        EXPECT_NE(r.find("\r\nCookie: session=abc\r\n"), std::string::npos) << r;
        EXPECT_EQ(r.find("leak"), std::string::npos) << r;
        EXPECT_NE(r.find("\r\nReferer: " + page + "\r\n"), std::string::npos) << r;
    }
    EXPECT_EQ(cookies.reads, 1);
    // Changed cookies are read again.
    cookies.generation = 2;
    downloader.SetPageAddress([&] { return page; });
    downloader.DownloadToFile(server.Url("/0.png"), (dir / "0.png").string());
    EXPECT_EQ(cookies.reads, 2);
}

// The files of a batch are opened once their bodies are there, in folders held open
// between downloads: a folder removed meanwhile is made again, a body larger than the
// write buffer is complete, and a folder that a link takes out of the save folder gets
// nothing.
TEST_F(CurlDownloaderTest, ABatchWritesItsFilesBeneathTheSaveFolderWhateverBecameOfTheirFolders) {
    const std::string big(600 << 10, 'b');
    ScriptedServer server([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        const std::string path = request->substr(4, request->find(' ', 4) - 4);
        const std::string body = path == "/page/big.bin" ? big : path;
        c.SendAndClose("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\n\r\n" + body);
    });
    test::TempFolder outside("nuv-dl-outside");
    fs::create_symlink(outside.Dir(), dir / "out");
    downloader.SetSaveRoot(dir.string() + "/");
    const auto batch = [&](const std::vector<std::string>& names) {
        DownloadBatch run(downloader);
        for (const std::string& name : names) run.Add(server.Url("/" + name), (dir / name).string(), server.Url("/"));
        return run.Finish();
    };
    for (const auto& r : batch({"page/a.png", "page/b.png", "page/big.bin"})) EXPECT_TRUE(r.saved) << r.error;
    EXPECT_TRUE(Read(dir / "page/big.bin") == big);
    fs::remove_all(dir / "page");
    const std::vector<DownloadBatch::Result> again = batch({"page/c.png", "page/d.png", "out/e.png"});
    EXPECT_TRUE(again[0].saved) << again[0].error;
    EXPECT_TRUE(again[1].saved) << again[1].error;
    EXPECT_EQ(Read(dir / "page/c.png"), "/page/c.png");
    EXPECT_EQ(Read(dir / "page/d.png"), "/page/d.png");
    EXPECT_FALSE(again[2].saved);
    EXPECT_NE(again[2].error.find("leads out of the save folder"), std::string::npos) << again[2].error;
    EXPECT_TRUE(fs::is_empty(outside.Dir()));
}

}  // namespace
}  // namespace nuv
