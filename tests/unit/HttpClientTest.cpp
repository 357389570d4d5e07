#include "net/HttpClient.h"

#include <chrono>
#include <stdexcept>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "net/HttpPageFetcher.h"
#include "support/Files.h"
#include "support/MemoryConnector.h"
#include "support/ScriptedServer.h"

namespace nuv {
namespace {

using test::MemoryConnector;
using test::ScriptedServer;
using test::ServerConnection;

const std::string kUsualHeaders =
    "Content-Type: text/html\r\n"
    "Host: %HOST%\r\n"
    "Accept: text/html, */*\r\n"
    "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";

std::string ExpectedRequest(const std::string& target, const std::string& host, const std::string& cookie = "") {
    std::string r = "GET " + target + " HTTP/1.1\r\n" + ReplaceAll(kUsualHeaders, "%HOST%", host);
    if (!cookie.empty()) r += "Cookie: " + cookie + "\r\n";
    return r + "\r\n";
}

struct MemoryClient {
    explicit MemoryClient(std::deque<std::string> replies, std::size_t chunk = 1 << 20)
        : log(std::make_shared<MemoryConnector::Log>()),
          client(std::make_unique<MemoryConnector>(std::move(replies), log, chunk), HttpLimits(),
                 [this] { return now; }) {}

    std::shared_ptr<MemoryConnector::Log> log;
    UnixSeconds now = 1700000000;
    HttpClient client;
};

const char* const kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

// ---- The request on the wire (memory streams) ----
// A memory stream is closed once its reply is read, so a reply that must not end with
// the close carries one spare byte after its head.

TEST(HttpClientRequest, IsWrittenExactlyInOnePiece) {
    MemoryClient m({kOk, kOk, kOk, kOk, kOk});
    EXPECT_EQ(m.client.Get("http://example.com/a/b.html?x=1&y=2#frag"), "ok");
    EXPECT_EQ(m.client.Get("http://example.com:8080/"), "ok");
    EXPECT_EQ(m.client.Get("https://example.com/s"), "ok");
    EXPECT_EQ(m.client.Get("https://example.com:80/s"), "ok");
    EXPECT_EQ(m.client.Get("http://user:pw@example.com/"), "ok");
    ASSERT_EQ(m.log->written.size(), 5u);
    EXPECT_EQ(m.log->written[0], ExpectedRequest("/a/b.html?x=1&y=2", "example.com"));
    EXPECT_EQ(m.log->written[1], ExpectedRequest("/", "example.com:8080"));
    EXPECT_EQ(m.log->written[2], ExpectedRequest("/s", "example.com"));
    EXPECT_EQ(m.log->written[3], ExpectedRequest("/s", "example.com:80"));
    EXPECT_EQ(m.log->written[4], ExpectedRequest("/", "example.com"));  // no Authorization
    EXPECT_EQ(m.log->hosts, (std::vector<std::string>{"example.com:80", "example.com:8080", "example.com:443",
                                                      "example.com:80", "example.com:80"}));
}

TEST(HttpClientRequest, HeadersWithEmptyValuesAreLeftOut) {
    MemoryClient m({kOk});
    m.client.Settings().contentType.clear();
    m.client.Settings().userAgent.clear();
    m.client.Get("http://h.example/");
    EXPECT_EQ(m.log->written[0], "GET / HTTP/1.1\r\nHost: h.example\r\nAccept: text/html, */*\r\n\r\n");
}

TEST(HttpClientRequest, CookiesOfEarlierResponsesGoLastWhereTheyBelong) {
    MemoryClient m({"HTTP/1.1 200 OK\r\nSet-Cookie: sid=42; path=/\r\nset-cookie: none=; path=/\r\n"
                    "SET-COOKIE2: v2=\"x\"; Version=1; Path=/app\r\nContent-Length: 0\r\n\r\n\n",
                    kOk, kOk, kOk});
    EXPECT_EQ(m.client.Get("http://site.example/app/index.htm"), "");
    m.client.Get("http://site.example/app/page.htm");
    m.client.Get("http://other.example/app/page.htm");
    m.now += 1000000;
    m.client.Get("http://www.site.example/");
    EXPECT_EQ(m.log->written[0], ExpectedRequest("/app/index.htm", "site.example"));
    EXPECT_EQ(m.log->written[1], ExpectedRequest("/app/page.htm", "site.example", "v2=\"x\"; sid=42"));
    EXPECT_EQ(m.log->written[2], ExpectedRequest("/app/page.htm", "other.example"));
    EXPECT_EQ(m.log->written[3], ExpectedRequest("/", "www.site.example", "sid=42"));
}

TEST(HttpClientRequest, ExpiredCookiesAreRemovedBeforeTheRequest) {
    MemoryClient m({"HTTP/1.1 200 OK\r\nSet-Cookie: t=1; max-age=60\r\nContent-Length: 0\r\n\r\n\n", kOk, kOk});
    m.client.Get("http://h.example/");
    m.client.Get("http://h.example/");
    m.now += 61;
    m.client.Get("http://h.example/");
    EXPECT_EQ(m.log->written[1], ExpectedRequest("/", "h.example", "t=1"));
    EXPECT_EQ(m.log->written[2], ExpectedRequest("/", "h.example"));
    EXPECT_TRUE(m.client.Cookies().Empty());
}

// ---- Refusals and their errors (memory streams) ----

// The refusals of tests/data/http/refusals.txt: the code, status line and body each carries.
TEST(HttpClientRefusal, RedirectsAndNon2xxFailWithCodeStatusLineAndBody) {
    const auto cases = test::ReadTable("http/refusals.txt");
    ASSERT_EQ(cases.size(), 11u);
    for (const auto& c : cases) {
        ASSERT_EQ(c.size(), 4u);
        const std::string& reply = c[0];
        const int code = std::stoi(c[1]);
        MemoryClient m({reply}, 3);
        try {
            m.client.Get("http://h.example/");
            ADD_FAILURE() << reply << " was accepted";
        } catch (const HttpProtocolError& e) {
            EXPECT_EQ(e.StatusCode(), code) << reply;
            EXPECT_EQ(e.StatusLine(), c[2]);
            EXPECT_EQ(e.what(), c[2]);
            EXPECT_EQ(e.Body(), c[3]) << reply;
        }
        EXPECT_EQ(m.client.LastResponse().statusCode, code);
    }
}

TEST(HttpClientRefusal, Success204IsEmptyAndHeadersEndingWithTheCloseAreUndefined) {
    MemoryClient ok({"HTTP/1.1 204 No Content\r\n\r\n" "ignored", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n!"});
    EXPECT_EQ(ok.client.Get("http://h.example/"), "");
    EXPECT_EQ(ok.client.Get("http://h.example/"), "");
    for (const char* reply : {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "HTTP/1.1 204 No Content\r\n\r\n",
                              "HTTP/1.1 200 OK\r\n\r\n", "HTTP/1.1 200 OK"}) {
        MemoryClient m({reply});
        try {
            m.client.Get("http://h.example/");
            ADD_FAILURE() << reply << " was accepted";
        } catch (const HttpProtocolError&) {
            ADD_FAILURE() << reply;
        } catch (const HttpError& e) {
            EXPECT_STREQ(e.what(), "Undefined situation") << reply;
        }
        EXPECT_FALSE(m.client.Connected());
    }
}

// ---- Against a scripted server on 127.0.0.1 ----

// Answers every request on every connection with `reply`.
ScriptedServer::Script AnswerAlways(std::string reply) {
    return [reply](ServerConnection& c) {
        while (c.ReadRequest()) {
            if (!c.Send(reply)) return;
        }
    };
}

TEST(HttpClientServer, ContentLengthBodyAndTheConnectionIsReused) {
    ScriptedServer server(AnswerAlways("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url("/one")), "hello");
    EXPECT_EQ(client.Get(server.Url("/two")), "hello");
    EXPECT_EQ(client.Get(server.Url("/three")), "hello");
    EXPECT_EQ(server.ConnectionCount(), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1], ExpectedRequest("/two", "127.0.0.1:" + std::to_string(server.Port())));
}

TEST(HttpClientServer, ConnectionCloseOrAnotherPortOpensANewConnection) {
    ScriptedServer closing(AnswerAlways("HTTP/1.1 200 OK\r\nConnection:  Close \r\nContent-Length: 2\r\n\r\nok"));
    ScriptedServer other(AnswerAlways("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno"));
    HttpClient client;
    EXPECT_EQ(client.Get(closing.Url()), "ok");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.Get(closing.Url()), "ok");
    EXPECT_EQ(closing.ConnectionCount(), 2);
    EXPECT_EQ(client.Get(other.Url()), "no");
    EXPECT_EQ(client.Get(other.Url()), "no");
    EXPECT_EQ(other.ConnectionCount(), 1);
}

TEST(HttpClientServer, AnHttp10ServerKeepsTheConnectionOnlyWhenItSaysSo) {
    ScriptedServer plain(AnswerAlways("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    ScriptedServer keeping(AnswerAlways("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nka"));
    HttpClient client;
    EXPECT_EQ(client.Get(plain.Url("/a")), "ok");
    EXPECT_EQ(client.Get(plain.Url("/b")), "ok");
    EXPECT_EQ(plain.ConnectionCount(), 2);
    EXPECT_EQ(client.Get(keeping.Url("/a")), "ka");
    EXPECT_EQ(client.Get(keeping.Url("/b")), "ka");
    EXPECT_EQ(keeping.ConnectionCount(), 1);
}

TEST(HttpClientServer, ARequestLostOnAKeptConnectionGoesOnceMoreOnANewOne) {
    ScriptedServer server([](ServerConnection& c) {
        if (!c.ReadRequest()) return;
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst");
        // The first connection takes the next request and closes without an answer.
        if (c.Index() == 0 && c.ReadRequest()) c.Reset();
    });
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url("/1")), "first");
    EXPECT_EQ(client.Get(server.Url("/2")), "first");
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(HttpClientServer, AConnectionTheServerClosedMeanwhileIsDropped) {
    ScriptedServer server([](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nbye");
    });
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url()), "bye");
    EXPECT_EQ(client.Get(server.Url()), "bye");
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST(HttpClientServer, ChunkedBodiesWithAndWithoutExtensions) {
    ScriptedServer server([](ServerConnection& c) {
        while (auto request = c.ReadRequest()) {
            const bool extension = request->find("/ext") != std::string::npos;
            c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            c.Send("4\r\nWiki\r\n");
            c.Send(extension ? "5;name=value\r\npedia\r\n" : "5\r\npedia\r\n");
            c.Send(extension ? "0\r\n\r\n" : "0\r\n\r\n");
        }
    });
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url("/plain")), "Wikipedia");
    // The extension makes the size line count as 0: the body ends there, and what
    // follows is read as the next response.
    EXPECT_EQ(client.Get(server.Url("/ext")), "Wiki");
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(HttpClientServer, BodyWithoutLengthIsReadUntilTheServerCloses) {
    ScriptedServer server([](ServerConnection& c) {
        if (!c.ReadRequest()) return;
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>");
        c.Send("<frameset></frameset>");
        c.Close();
    });
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url()), "<html><frameset></frameset>");
    EXPECT_FALSE(client.Connected());
}

TEST(HttpClientServer, HeadersFollowedByTheCloseAreAnUndefinedSituation) {
    ScriptedServer server([](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
    });
    HttpClient client;
    try {
        client.Get(server.Url());
        FAIL();
    } catch (const HttpProtocolError&) {
        FAIL();
    } catch (const HttpError& e) {
        EXPECT_STREQ(e.what(), "Undefined situation");
    }
}

TEST(HttpClientServer, RedirectsLocationsNotModifiedAndNotFoundFail) {
    ScriptedServer server([](ServerConnection& c) {
        while (auto request = c.ReadRequest()) {
            if (request->starts_with("GET /moved "))
                c.Send("HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\nContent-Length: 6\r\n\r\nmoved!");
            else if (request->starts_with("GET /located "))
                c.Send("HTTP/1.1 200 OK\r\nLocation: /new\r\nContent-Length: 2\r\n\r\nok");
            else if (request->starts_with("GET /cached "))
                c.Send("HTTP/1.1 304 Not Modified\r\n\r\n");
            else
                c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!");
        }
    });
    HttpClient client;
    const struct {
        const char* path;
        int code;
        const char* line;
        const char* body;
    } cases[] = {{"/moved", 301, "HTTP/1.1 301 Moved Permanently", "moved!"},
                 {"/located", 200, "HTTP/1.1 200 OK", "ok"},
                 {"/cached", 304, "HTTP/1.1 304 Not Modified", ""},
                 {"/missing", 404, "HTTP/1.1 404 Not Found", "not here!"}};
    for (const auto& c : cases) {
        try {
            client.Get(server.Url(c.path));
            ADD_FAILURE() << c.path;
        } catch (const HttpProtocolError& e) {
            EXPECT_EQ(e.StatusCode(), c.code);
            EXPECT_STREQ(e.what(), c.line);
            EXPECT_EQ(e.Body(), c.body);
        }
    }
    // Refused responses that were read completely leave the connection usable; no
    // redirect was followed.
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(server.Requests().size(), 4u);
}

TEST(HttpClientServer, TargetKeepsTheQueryDropsTheFragmentAndHostCarriesThePort) {
    ScriptedServer server(AnswerAlways("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url("/dir/page.asp?id=7&x=%20#section")), "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], ExpectedRequest("/dir/page.asp?id=7&x=%20", "127.0.0.1:" + std::to_string(server.Port())));
}

TEST(HttpClientServer, CookiesTravelAcrossRequests) {
    ScriptedServer server([](ServerConnection& c) {
        while (auto request = c.ReadRequest()) {
            if (request->starts_with("GET /login "))
                c.Send("HTTP/1.1 200 OK\r\nSet-Cookie: user=ann; path=/\r\nSet-Cookie: blank=; path=/\r\n"
                       "Set-Cookie: area=x; path=/members\r\nContent-Length: 0\r\n\r\n");
            else
                c.Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        }
    });
    HttpClient client;
    client.Get(server.Url("/login"));
    client.Get(server.Url("/members/frame.htm"));
    client.Get(server.Url("/public/frame.htm"));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(requests[1], ExpectedRequest("/members/frame.htm", host, "area=x; user=ann"));
    EXPECT_EQ(requests[2], ExpectedRequest("/public/frame.htm", host, "user=ann"));
}

TEST(HttpClientServer, ContentLengthZeroIsEmptyText) {
    ScriptedServer server(AnswerAlways("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    HttpClient client;
    EXPECT_EQ(client.Get(server.Url()), "");
    EXPECT_EQ(client.Get(server.Url()), "");
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(HttpClientServer, ARefusedConnectionIsAnError) {
    int port = 0;
    {
        ScriptedServer gone([](ServerConnection&) {});
        port = gone.Port();
    }
    HttpClient client;
    EXPECT_THROW(client.Get("http://127.0.0.1:" + std::to_string(port) + "/"), HttpError);
}

// nuv-extract's frame fetches: a busy server or a connection that broke is asked again.
TEST(HttpPageFetcherRetries, BusyAnswersAndBrokenConnectionsAreAskedAgainOthersAreFinal) {
    const std::string busy = "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 0\r\nContent-Length: 0\r\n\r\n";
    const struct {
        std::deque<std::string> replies;
        int retries;
        bool hookStops;
        std::string result;  // the body, or the failure
        size_t connections;
    } rows[] = {
        {{busy, kOk}, 3, false, "ok", 2},
        {{"HTTP/1.1 429 Too Many Requests\r\nRetry-After: Thu, 01 Jan 1970 00:00:00 GMT\r\nContent-Length: 0\r\n\r\n",
          busy, kOk},
         3, false, "ok", 3},
        {{"", kOk}, 3, false, "ok", 2},  // closed without an answer
        {{busy, busy, busy}, 2, false, "HTTP/1.1 503 Service Unavailable", 3},
        {{busy, kOk}, 0, false, "HTTP/1.1 503 Service Unavailable", 1},
        {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", kOk}, 3, false, "HTTP/1.1 404 Not Found", 1},
        // What stops the run stops the wait.
        {{busy, kOk}, 3, true, "stopped", 1},
    };
    for (const auto& row : rows) {
        auto log = std::make_shared<MemoryConnector::Log>();
        HttpPageFetcher fetcher(std::make_unique<MemoryConnector>(row.replies, log));
        fetcher.retry = RetryRule{row.retries, std::chrono::milliseconds(8), std::chrono::milliseconds(8)};
        if (row.hookStops) fetcher.IdHTTP1.SetWaitHook([] { throw std::runtime_error("stopped"); });
        std::string result;
        try {
            result = fetcher.Get("http://frame.test/f.html");
        } catch (const std::exception& e) {
            result = e.what();
        }
        EXPECT_EQ(result, row.result) << row.replies.front();
        EXPECT_EQ(log->written.size(), row.connections) << row.replies.front();
    }
}

}  // namespace
}  // namespace nuv
