#include "net/HttpClient.h"

#include <thread>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "net/HttpError.h"
#include "net/TcpStream.h"
#include "support/Files.h"
#include "support/ScriptedServer.h"

namespace nuv {
namespace {

using test::ScriptedServer;
using test::ServerConnection;

// Runs one Get against a server that plays `script`; returns the error text, or
// "body:" followed by the body when the request succeeded.
std::string Outcome(const ScriptedServer::Script& script, HttpLimits limits = {}) {
    ScriptedServer server(script);
    HttpClient client(nullptr, limits);
    try {
        return "body:" + client.Get(server.Url());
    } catch (const HttpError& e) {
        EXPECT_FALSE(client.Connected());
        return e.what();
    }
}

// Sends `piece` over and over until the client hangs up.
void Flood(ServerConnection& c, const std::string& piece) {
    std::string batch;
    while (batch.size() < 65536) batch += piece;
    while (c.Send(batch)) {
    }
}

// The servers of tests/data/http/hostile-servers.txt: endless header lines, overlong
// lines, huge or cut chunks, endless bodies and declared lengths that never arrive.
TEST(HttpHostileServer, EndlessOrCutRepliesStopAtTheirLimits) {
    const auto cases = test::ReadTable("http/hostile-servers.txt");
    ASSERT_EQ(cases.size(), 9u);
    for (const auto& c : cases) {
        ASSERT_EQ(c.size(), 5u);
        HttpLimits limits;
        if (c[3] != "-") limits.maxBodyBytes = std::stoull(c[3]);
        EXPECT_EQ(Outcome(
                      [&c](ServerConnection& s) {
                          if (!s.ReadRequest()) return;
                          s.Send(c[0]);
                          if (c[1] == "flood") Flood(s, c[2]);
                          else s.Close();
                      },
                      limits),
                  c[4])
            << c[0];
    }
}

TEST(HttpHostileServer, AGarbageStatusLineIsRefusedWithCodeMinusOne) {
    ScriptedServer server([](ServerConnection& c) {
        if (c.ReadRequest()) c.SendAndClose(std::string("\x16\x03\x01\x02\x00 garbage \xff\r\n\r\n", 19));
    });
    HttpClient client;
    try {
        client.Get(server.Url());
        FAIL();
    } catch (const HttpProtocolError& e) {
        EXPECT_EQ(e.StatusCode(), -1);
        EXPECT_EQ(e.StatusLine(), std::string("\x16\x03\x01\x02\x00 garbage \xff", 15));
    }
}

TEST(HttpHostileServer, ASilentServerTimesOutAfterTheReadLimit) {
    HttpLimits limits;
    limits.readTimeout = std::chrono::milliseconds(800);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Outcome(
                  [](ServerConnection& c) {
                      if (c.ReadRequest()) c.WaitForClientClose();
                  },
                  limits),
              "Read timed out.");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(750));  // poll counts whole milliseconds
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST(HttpHostileServer, AFailureBodyThatStallsTurnsIntoATimeout) {
    HttpLimits limits;
    limits.failureBodyTimeout = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Outcome(
                  [](ServerConnection& c) {
                      if (!c.ReadRequest()) return;
                      c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 100\r\n\r\npartial");
                      c.WaitForClientClose();
                  },
                  limits),
              "Read timed out.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(HttpHostileServer, AResetInTheMiddleOfTheBodyIsAnError) {
    const std::string outcome = Outcome([](ServerConnection& c) {
        if (!c.ReadRequest()) return;
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'x'));
        c.Reset();
    });
    EXPECT_EQ(outcome.rfind("Socket read error", 0), 0u) << outcome;
}

}  // namespace
TEST(HttpHostileServer, ANameLookupThatHangsEndsWithinTheConnectLimit) {
    // The resolver answers long after the limit; the connection gives up at the limit.
    const Resolver slow = [](const std::string&, const std::string&) -> std::vector<ResolvedAddress> {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        throw HttpError("too late");
    };
    EXPECT_THROW(TcpStream::Connect("slow.example", 80, std::chrono::milliseconds(50), slow), HttpTimeoutError);
    // A failing lookup within the limit reports its own error.
    const Resolver failing = [](const std::string&, const std::string&) -> std::vector<ResolvedAddress> {
        throw HttpError("Host not found: nowhere");
    };
    try {
        TcpStream::Connect("nowhere", 80, std::chrono::seconds(5), failing);
        ADD_FAILURE();
    } catch (const HttpTimeoutError&) {
        ADD_FAILURE();
    } catch (const HttpError& e) {
        EXPECT_STREQ(e.what(), "Host not found: nowhere");
    }
}

}  // namespace nuv
