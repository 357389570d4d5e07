// What a hostile page, server or network can make the program fetch, send and keep:
// every fetcher against loopback servers that record what reaches them.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include <gtest/gtest.h>

#include "support/DownloadFolder.h"

#include "net/HttpClient.h"
#include "support/FixedCookies.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestServer.h"
#include "web/Address.h"
#include "web/AddressSpace.h"
#include "web/CurlDownloader.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ScriptedServer;
using test::ServerConnection;
using Clock = std::chrono::steady_clock;

TEST(FetchPolicy, OnlyTheWebAndALocalPagesOwnFilesMayBeFetched) {
    const std::string web = "http://site.example/page.html";
    const std::string local = "file:///home/u/page.html";
    const struct {
        const char* address;
        std::string page;
        bool allowed;
    } rows[] = {
        {"http://a.example/x.zip", web, true},
        {"HTTPS://a.example/x.zip", "", true},
        {"a.example/x.zip", web, true},
        {"file:///home/u/.ssh/id_rsa?.zip", web, false},
        {"file:///home/u/a.css", "", false},
        {"file:///home/u/a.css", local, true},
        {"FILE:/home/u/a.css", "/home/u/page.html", true},
        {"gopher://127.0.0.1:70/_HELLO", web, false},
        {"dict://127.0.0.1:2628/stats.zip", web, false},
        {"ftp://a.example/x.zip", local, false},
        {"ldap://a.example/", web, false},
        {"smb://a.example/share", web, false},
        {"telnet://a.example/", web, false},
        {"tftp://a.example/x", web, false},
        {"mqtt://a.example/", web, false},
        {"javascript:alert(1)", web, false},
        {"", web, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MayFetch(r.address, r.page), r.allowed) << r.address << " from " << r.page;
}

TEST(FetchPolicy, RefererIsStrictOriginWhenCrossOrigin) {
    const struct {
        const char* page;
        const char* target;
        const char* referer;
    } rows[] = {
        {"http://a.example/d/p.html?q=1#top", "http://a.example/x.gif",
         "http://a.example/d/p.html?q=1"},
        {"http://user:pw@a.example:8080/p.html", "http://A.example:8080/x.gif",
         "http://a.example:8080/p.html"},
        {"http://a.example/d/p.html?q=1", "http://a.example:81/x.gif", "http://a.example/"},
        {"http://a.example/d/p.html?q=1", "https://a.example/x.gif", "http://a.example/"},
        {"https://a.example:8443/d/p.html", "https://cdn.example/x.gif", "https://a.example:8443/"},
        {"https://a.example/d/p.html", "http://a.example/x.gif", ""},
        {"https://a.example/d/p.html", "cdn.example/x.gif", ""},
        {"http://[::1]:81/p.html", "http://b.example/x.gif", "http://[::1]:81/"},
        {"file:///home/u/p.html", "http://a.example/x.gif", ""},
        {"", "http://a.example/x.gif", ""},
        {"about:blank", "http://a.example/x.gif", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(RefererFor(r.page, r.target), r.referer) << r.page << " -> " << r.target;
}

TEST(FetchPolicy, SitesComeFromThePublicSuffixList) {
    EXPECT_EQ(SiteOfHost("www.Bank.example.co.uk"), "example.co.uk");
    EXPECT_EQ(SiteOfHost("a.b.example.com"), "example.com");
    EXPECT_EQ(SiteOfHost("user.github.io"), "user.github.io");
    EXPECT_EQ(SiteOfHost("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(SiteOfHost("localhost"), "localhost");
    for (const char* suffix : {"com", ".com", "co.uk", "github.io", "COM"})
        EXPECT_TRUE(IsPublicSuffix(suffix)) << suffix;
    for (const char* name : {"example.com", "example.co.uk", "localhost", "corp", "127.0.0.1", ""})
        EXPECT_FALSE(IsPublicSuffix(name)) << name;
}

std::string Header(const std::string& head, const std::string& name) {
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "-";
    const size_t start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
}

// The servers of these tests are on loopback while their pages have made-up public names:
// the network rule, which would refuse them all, has tests of its own.
class HostileFetch : public test::DownloadFolderTest {
protected:
    HostileFetch() { downloader.SetAllowPrivateNetwork(true); }

    // The kind of failure of one download, "ok" when it succeeded.
    std::string Failure(const std::string& url, const std::string& file,
                        const DownloadProgressFn& progress = {},
                        const DownloadBounds& bounds = {}) {
        try {
            downloader.DownloadToFile(url, (dir / file).string(), progress, bounds);
            return "ok";
        } catch (const DownloadError& e) {
            static const char* const kNames[] = {"refused", "too large", "timed out", "network",
                                                 "http",    "write",     "cancelled", "private network"};
            return kNames[static_cast<int>(e.kind())];
        }
    }
};

TEST_F(HostileFetch, OtherSchemesAndRedirectsToThemReachNothing) {
    // A local service: it notes the first line of every connection; an http request
    // for /last answers, so the last download proves that nothing came before it.
    std::mutex m;
    std::vector<std::string> reached;
    ScriptedServer service([&](ServerConnection& c) {
        const auto line = c.ReadUntil("\n", 2s);
        std::lock_guard<std::mutex> lock(m);
        reached.push_back(line.value_or("(nothing)"));
        if (line && line->find("GET /last") == 0)
            c.SendAndClose("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok");
    });
    const std::string port = std::to_string(service.Port());
    ScriptedServer redirector([&](ServerConnection& c) {
        const auto request = c.ReadRequest();
        if (!request) return;
        const std::string to = request->find("GET /gopher") == 0
                                   ? "gopher://127.0.0.1:" + port + "/_HELLO%0D%0A"
                                   : "file://" + (dir / "secret").string();
        c.SendAndClose("HTTP/1.1 302 Found\r\nLocation: " + to +
                       "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    });
    std::ofstream(dir / "secret") << "private key";
    const std::string page = "http://site.example/page.html";
    const std::string localPage = "file://" + (dir / "page.html").string();
    const struct {
        std::string address;
        std::string page;
    } attacks[] = {
        {"gopher://127.0.0.1:" + port + "/_HELLO%0D%0A.zip", page},
        {"dict://127.0.0.1:" + port + "/stats.zip", page},
        {"ftp://127.0.0.1:" + port + "/a.zip", localPage},
        {"telnet://127.0.0.1:" + port + "/", page},
        {"file://" + (dir / "secret").string() + "?.zip", page},
        {"file://" + (dir / "secret").string(), ""},
        {redirector.Url("/gopher.zip"), page},
        {redirector.Url("/file.zip"), localPage},  // a redirect never reaches a file
    };
    for (const auto& attack : attacks) {
        downloader.SetPageAddress([&] { return attack.page; });
        EXPECT_EQ(Failure(attack.address, "got.zip"), "refused") << attack.address;
        HttpClient client;
        EXPECT_THROW(client.Get(attack.address), HttpError) << attack.address;
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"secret"});

    // The page's own files are copied for a local page.
    downloader.SetPageAddress([&] { return localPage; });
    EXPECT_EQ(Failure("file://" + (dir / "secret").string(), "copy"), "ok");
    EXPECT_EQ(Read(dir / "copy"), "private key");
    downloader.SetPageAddress([&] { return page; });
    EXPECT_EQ(Failure(service.Url("/last"), "last"), "ok");
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(reached.size(), 1u);
    EXPECT_EQ(reached[0].find("GET /last"), 0u) << reached[0];
}

TEST_F(HostileFetch, RefererAndCookiesAreWhatTheBrowserSendsForThePage) {
    const auto reply = [](ServerConnection& c) {
        while (c.ReadRequest(2s)) c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
    };
    // curl counts plain http to 127.0.0.1 as a secure context; 127.0.0.2 is not.
    ScriptedServer site(reply, "127.0.0.2");
    ScriptedServer other(reply, "127.0.0.2");
    test::LoopbackCertificate cert;
    std::mutex m;
    std::string tlsRequest;
    ScriptedServer tls(
        test::TlsReply(cert, "HTTP/1.1 200 OK", "x", 1, {}, [&](const std::string& head) {
            std::lock_guard<std::mutex> lock(m);
            tlsRequest = head;
        }));
    std::ofstream(dir / "ca.pem") << cert.Pem();
    downloader.SetCaFile((dir / "ca.pem").string());
    const std::string tlsUrl = "https://127.0.0.1:" + std::to_string(tls.Port()) + "/x.gif";

    test::FixedCookies cookies;
    for (const std::string host : {"127.0.0.2", "127.0.0.1"}) {
        cookies.lines.push_back({host + "\tFALSE\t/\tFALSE\t0\tunset\t1", SameSite::Unset});
        cookies.lines.push_back({host + "\tFALSE\t/\tFALSE\t0\tstrict\t1", SameSite::Strict});
        cookies.lines.push_back({host + "\tFALSE\t/\tFALSE\t0\tnone\t1", SameSite::None});
    }
    downloader.SetCookieSource(&cookies);
    const std::string sitePage = site.Url("/d/page.html?id=7#part");
    const struct {
        std::string page;
        std::string target;
        std::string referer;  // "-": none
        std::string cookie;
    } rows[] = {
        {sitePage, site.Url("/a.gif"), site.Url("/d/page.html?id=7"), "unset=1; strict=1"},
        {sitePage, other.Url("/a.gif"), site.Url("/"),
         "unset=1; strict=1"},  // same site, other origin
        {"http://evil.example/p.html?secret", site.Url("/a.gif"), "http://evil.example/", "-"},
        {"https://127.0.0.2/p.html", site.Url("/a.gif"), "-", "unset=1; strict=1"},
        {"", site.Url("/a.gif"), "-", "-"},
        {"http://evil.example/p.html", tlsUrl, "http://evil.example/", "none=1"},
        {"https://127.0.0.1:1/p.html?q", tlsUrl, "https://127.0.0.1:1/",
         "unset=1; strict=1; none=1"},
    };
    for (const auto& r : rows) {
        downloader.SetPageAddress([&] { return r.page; });
        const size_t before = site.Requests().size() + other.Requests().size();
        ASSERT_EQ(Failure(r.target, "a.gif"), "ok") << r.page << " -> " << r.target;
        std::string head;
        if (r.target == tlsUrl) {
            std::lock_guard<std::mutex> lock(m);
            head = tlsRequest;
        } else {
            const auto all =
                (r.target.find(std::to_string(site.Port())) != std::string::npos ? site : other)
                    .Requests();
            ASSERT_EQ(site.Requests().size() + other.Requests().size(), before + 1);
            head = all.back();
        }
        EXPECT_EQ(Header(head, "Referer"), r.referer) << r.page << " -> " << r.target;
        std::string cookie = Header(head, "Cookie");
        for (const char* name : {"unset=1", "strict=1", "none=1"})
            EXPECT_EQ(cookie.find(name) != std::string::npos,
                      r.cookie.find(name) != std::string::npos)
                << name << " for " << r.page << " -> " << r.target << ": " << cookie;
    }
}

TEST_F(HostileFetch, EachRedirectGetsTheRefererOfItsOwnOrigin) {
    ScriptedServer other([](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
    });
    ScriptedServer site([&](ServerConnection& c) {
        if (c.ReadRequest())
            c.SendAndClose("HTTP/1.1 302 Found\r\nLocation: " + other.Url("/b.gif") + "\r\n\r\n");
    });
    downloader.SetPageAddress([&] { return site.Url("/secret/page.html?token=1"); });
    ASSERT_EQ(Failure(site.Url("/a.gif"), "a.gif"), "ok");
    EXPECT_EQ(Header(site.Requests().at(0), "Referer"), site.Url("/secret/page.html?token=1"));
    EXPECT_EQ(Header(other.Requests().at(0), "Referer"), site.Url("/"));
}

// A server that sends `head` and then `piece` over and over until the client hangs up,
// every `pause` (0: as fast as it can).
ScriptedServer::Script Endless(std::string head, std::string piece,
                               std::chrono::milliseconds pause = {}) {
    return [=](ServerConnection& c) {
        if (!c.ReadRequest()) return;
        if (!c.Send(head)) return;
        std::string batch = piece;
        while (pause.count() == 0 && batch.size() < 65536) batch += piece;
        while (c.Send(batch)) {
            if (pause.count() > 0 && c.WaitForClientClose(pause)) return;
        }
    };
}

TEST_F(HostileFetch, SizeAndTimeBoundsEndEndlessAndDrippingServersAndKeepTheOlderFile) {
    ScriptedServer endless(Endless("HTTP/1.1 200 OK\r\n\r\n", "1.gif\n"));
    ScriptedServer declared(Endless("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", "x"));
    ScriptedServer drip(Endless("HTTP/1.1 200 OK\r\n\r\n", "ab", 500ms));
    ScriptedServer silent([](ServerConnection& c) {
        if (c.ReadRequest()) c.WaitForClientClose();
    });
    std::ofstream(dir / "a.css") << "older sheet";
    const DownloadBounds small{std::uint64_t{1} << 20, 800ms};
    EXPECT_EQ(Failure(endless.Url("/a.css"), "a.css", {}, small), "too large");
    EXPECT_EQ(Failure(declared.Url("/a.css"), "a.css", {}, small), "too large");
    downloader.SetMaxBytes(std::uint64_t{1} << 20);
    EXPECT_EQ(Failure(endless.Url("/a.css"), "a.css"), "too large");
    for (ScriptedServer* server : {&drip, &silent}) {
        const auto start = Clock::now();
        EXPECT_EQ(Failure(server->Url("/a.css"), "a.css", {}, small), "timed out");
        EXPECT_LT(Clock::now() - start, 1800ms);
    }
    EXPECT_EQ(Read(dir / "a.css"), "older sheet");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.css"});

    // A style sheet fetched into the save folder is held to the bounds given.
    FetchOutcome outcome;
    EXPECT_EQ(
        FetchIntoSaveFolder(dir.string() + "/", downloader, endless.Url("/a.css"), &outcome, small),
        std::vector<std::string>{});
    EXPECT_EQ(outcome.failure, DownloadFailure::TooLarge);
    EXPECT_EQ(Read(dir / "a.css"), "older sheet");

    // The frame client: the body limit and the total time of a request.
    HttpLimits limits;
    limits.maxBodyBytes = 1 << 20;
    limits.totalTimeout = 800ms;
    HttpClient client(nullptr, limits);
    EXPECT_THROW(client.Get(endless.Url("/frame.html")), HttpError);
    const auto start = Clock::now();
    EXPECT_THROW(client.Get(drip.Url("/frame.html")), HttpTimeoutError);
    EXPECT_LT(Clock::now() - start, 1800ms);
}

struct Closing {};  // what the window throws to stop a transfer when it closes

TEST_F(HostileFetch, WaitsReportEvery100MsAndWhatTheReportThrowsEndsTheTransferUnchanged) {
    ScriptedServer silent([](ServerConnection& c) {
        if (!c.ReadRequest()) return;
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
        c.WaitForClientClose();
    });
    std::ofstream(dir / "a.zip") << "older file";
    std::vector<Clock::time_point> calls;
    // Closes once 600 ms have passed in which no byte came.
    const auto countThenClose = [&calls] {
        calls.push_back(Clock::now());
        if (calls.back() - calls.front() >= 600ms) throw Closing{};
    };
    const auto longestGap = [&calls] {
        auto longest = Clock::duration::zero();
        for (size_t i = 1; i < calls.size(); ++i)
            longest = std::max(longest, calls[i] - calls[i - 1]);
        return longest;
    };
    EXPECT_THROW(downloader.DownloadToFile(silent.Url("/a.zip"), (dir / "a.zip").string(),
                                           [&](const DownloadProgress&) { countThenClose(); }),
                 Closing);
    EXPECT_LT(longestGap(), 250ms);
    EXPECT_EQ(Read(dir / "a.zip"), "older file");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.zip"});

    // The wait hook runs for downloads without a progress function (style sheets) too.
    calls.clear();
    downloader.SetWaitHook(countThenClose);
    EXPECT_THROW(downloader.DownloadToFile(silent.Url("/a.css"), (dir / "a.css").string()),
                 Closing);
    EXPECT_LT(longestGap(), 250ms);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.zip"});

    calls.clear();
    HttpClient client;
    client.SetWaitHook(countThenClose);
    EXPECT_THROW(client.Get(silent.Url("/frame.html")), Closing);
    EXPECT_GE(calls.size(), 4u);
    EXPECT_LT(longestGap(), 250ms);
    EXPECT_FALSE(client.Connected());
}

}  // namespace
}  // namespace nuv

namespace nuv {
namespace {

TEST(NetworkRule, AddressSpacesAndWhoMayReachThem) {
    const struct {
        const char* host;
        std::optional<AddressSpace> space;
    } hosts[] = {
        {"127.0.0.1", AddressSpace::Local},     {"127.9.9.9", AddressSpace::Local},
        {"0.0.0.0", AddressSpace::Local},       {"[::1]", AddressSpace::Local},
        {"::", AddressSpace::Local},            {"2130706433", AddressSpace::Local},
        {"0x7f.1", AddressSpace::Local},        {"::ffff:127.0.0.1", AddressSpace::Local},
        {"10.1.2.3", AddressSpace::Private},    {"172.16.0.1", AddressSpace::Private},
        {"172.31.255.255", AddressSpace::Private}, {"192.168.1.1", AddressSpace::Private},
        {"169.254.169.254", AddressSpace::Private}, {"100.64.0.1", AddressSpace::Private},
        {"fd00::1", AddressSpace::Private},     {"fe80::1%lo", AddressSpace::Private},
        {"::ffff:10.0.0.1", AddressSpace::Private}, {"172.32.0.1", AddressSpace::Public},
        {"198.51.100.7", AddressSpace::Public}, {"8.8.8.8", AddressSpace::Public},
        {"2001:db8::1", AddressSpace::Public},  {"a.example", std::nullopt},
    };
    for (const auto& h : hosts) EXPECT_EQ(SpaceOfIpText(h.host), h.space) << h.host;
    const struct {
        const char* page;
        AddressSpace space;
    } pages[] = {
        {"", AddressSpace::Local},
        {"file:///home/u/p.html", AddressSpace::Local},
        {"/home/u/p.html", AddressSpace::Local},
        {"http://localhost:8080/", AddressSpace::Local},
        {"http://app.localhost/", AddressSpace::Local},
        {"http://user@127.0.0.1:81/p.html", AddressSpace::Local},
        {"https://[fd00::2]/p.html", AddressSpace::Private},
        {"http://198.51.100.7/p.html", AddressSpace::Public},
        {"http://unresolvable.invalid/p.html", AddressSpace::Public},
        {"about:blank", AddressSpace::Public},
    };
    for (const auto& p : pages) EXPECT_EQ(SpaceOfPage(p.page), p.space) << p.page;
    EXPECT_TRUE(MayReach(AddressSpace::Local, AddressSpace::Private));
    EXPECT_TRUE(MayReach(AddressSpace::Private, AddressSpace::Private));
    EXPECT_FALSE(MayReach(AddressSpace::Private, AddressSpace::Local));
    EXPECT_FALSE(MayReach(AddressSpace::Public, AddressSpace::Private));
}

// A service on 127.0.0.1 that answers every request on a connection it keeps open.
class NetworkRuleFetch : public test::DownloadFolderTest {
protected:
    test::ScriptedServer service{[](test::ServerConnection& c) {
        while (c.ReadRequest(std::chrono::seconds(2))) c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx");
    }};
    // "ok", or the failure's text.
    std::string Fetch(const std::string& page, const std::string& url) {
        downloader.SetPageAddress([page] { return page; });
        try {
            downloader.DownloadToFile(url, (dir / "f.gif").string());
            return "ok";
        } catch (const DownloadError& e) {
            return e.kind() == DownloadFailure::PrivateNetwork ? "private network" : e.what();
        }
    }
};

TEST_F(NetworkRuleFetch, PublicPagesReachNeitherThePrivateNetworkNorTheMachine) {
    const struct {
        std::string page, result;
    } rows[] = {
        {"http://198.51.100.7/p.html", "private network"},
        {"http://127.0.0.1:1/p.html", "ok"},
        // The connection the loopback page left open is not one a public page may use.
        {"https://198.51.100.7/p.html", "private network"},
        {"http://10.0.0.5/p.html", "private network"},
        {"http://localhost/p.html", "ok"},
        {"", "ok"},
    };
    for (const auto& r : rows) EXPECT_EQ(Fetch(r.page, service.Url("/a.gif")), r.result) << r.page;
    EXPECT_EQ(service.Requests().size(), 3u);

    downloader.SetAllowPrivateNetwork(true);
    EXPECT_EQ(Fetch("http://198.51.100.7/p.html", service.Url("/a.gif")), "ok");

    // The frame client judges the addresses it resolved itself.
    HttpClient client;
    client.SetPageAddress([] { return std::string("http://198.51.100.7/p.html"); });
    try {
        client.Get(service.Url("/frame.html"));
        ADD_FAILURE() << "the frame page was fetched";
    } catch (const HttpRefusedError& e) {
        EXPECT_NE(std::string(e.what()).find("private network address 127.0.0.1"), std::string::npos) << e.what();
    }
    const size_t before = service.Requests().size();
    client.SetPageAddress([] { return std::string("http://127.0.0.1/p.html"); });
    EXPECT_EQ(client.Get(service.Url("/frame.html")), "x");
    EXPECT_EQ(service.Requests().size(), before + 1);
}

TEST_F(NetworkRuleFetch, ThroughTheUsersProxyOnlyNumbersAreJudged) {
    struct Environment {
        Environment(const std::string& proxy) { setenv("http_proxy", proxy.c_str(), 1); }
        ~Environment() { unsetenv("http_proxy"); }
    } environment(service.Url("/"));
    const std::string page = "http://198.51.100.7/p.html";
    EXPECT_EQ(Fetch(page, "http://198.51.100.9/a.gif"), "ok");
    EXPECT_EQ(Fetch(page, "http://intranet.example/a.gif"), "ok");
    EXPECT_EQ(Fetch(page, "http://127.0.0.1:9/a.gif"), "private network");
    EXPECT_EQ(Fetch(page, "http://[::1]:9/a.gif"), "private network");
    // The frame client is given the same proxy, and forwards through it alike.
    HttpClient client;
    client.SetPageAddress([page] { return page; });
    EXPECT_EQ(client.Get("http://intranet.example/f.html"), "x");
    EXPECT_THROW(client.Get("http://127.0.0.1:9/f.html"), HttpRefusedError);
    const std::vector<std::string> asked = service.Requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].find("GET http://198.51.100.9/a.gif "), 0u) << asked[0];
    EXPECT_EQ(asked[1].find("GET http://intranet.example/a.gif "), 0u) << asked[1];
    EXPECT_EQ(asked[2].find("GET http://intranet.example/f.html HTTP/1.1\r\n"), 0u) << asked[2];
}

}  // namespace
}  // namespace nuv
