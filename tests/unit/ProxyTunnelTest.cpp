#include "net/ProxyTunnel.h"

#include <gtest/gtest.h>

#include "net/HttpClient.h"
#include "net/HttpError.h"
#include "support/ScriptedServer.h"

namespace nuv {
namespace {

using namespace std::string_literals;

TEST(ProxyAddresses, AreTakenApartAsLibcurlTakesThem) {
    const struct {
        std::string_view address;
        std::string parts;  // scheme user password host port, or "none"
    } rows[] = {
        {"http://p:3128", "http|||p|3128"},
        {"proxy.corp:8080", "http|||proxy.corp|8080"},
        {"SOCKS5H://u%40x:p%3A@[::1]:1080/", "socks5h|u@x|p:|::1|1080"},
        {"socks5://s", "socks5|||s|1080"},
        {"https://s/", "https|||s|443"},
        {"http://s:", "http|||s|80"},
        {"http://:80", "none"},
        {"http://p:0", "none"},
        {"http://p:8x", "none"},
        {"http://[::1", "none"},
    };
    for (const auto& row : rows) {
        const auto p = SplitProxyAddress(row.address);
        EXPECT_EQ(p ? p->scheme + "|" + p->user + "|" + p->password + "|" + p->host + "|" + std::to_string(p->port)
                    : "none",
                  row.parts)
            << row.address;
    }
}

TEST(ProxyTunnel, HandshakesAreWrittenByteForByteAndTheTunnelKeepsWhatFollows) {
    const std::string boundV4 = "\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00"s;
    const struct {
        std::string proxy, host;
        int port;
        AddressSpace reach;
        std::string answers, written, error;
    } rows[] = {
        {"socks5h://p", "frame.test", 80, AddressSpace::Public, "\x05\x00"s + boundV4,
         "\x05\x01\x00\x05\x01\x00\x03\x0a" "frame.test\x00\x50"s, ""},
        // With a login, and a proxy that answers with the name it bound.
        {"socks5h://u:pw@p", "frame.test", 443, AddressSpace::Public,
         "\x05\x02\x01\x00\x05\x00\x00\x03\x01x\x00\x00"s,
         "\x05\x02\x00\x02\x01\x01u\x02pw\x05\x01\x00\x03\x0a" "frame.test\x01\xbb"s, ""},
        // socks5:// sends the number the name resolves to here.
        {"socks5://p", "127.0.0.1", 8080, AddressSpace::Local, "\x05\x00"s + boundV4,
         "\x05\x01\x00\x05\x01\x00\x01\x7f\x00\x00\x01\x1f\x90"s, ""},
        {"socks5://p", "127.0.0.1", 8080, AddressSpace::Public, "", "",
         "refused: private network address 127.0.0.1 for a page on the public network"},
        {"socks5h://p", "10.0.0.1", 80, AddressSpace::Public, "", "",
         "refused: private network address 10.0.0.1 for a page on the public network"},
        {"socks5h://p", "frame.test", 80, AddressSpace::Public, "\x05\x00\x05\x05\x00\x01"s,
         "\x05\x01\x00\x05\x01\x00\x03\x0a" "frame.test\x00\x50"s,
         "The SOCKS proxy could not connect to frame.test:80 (connection refused)"},
        {"socks5h://p", "frame.test", 80, AddressSpace::Public, "\x05\x02"s, "\x05\x01\x00"s,
         "The SOCKS proxy asks for a user name and password"},
        {"http://u:p@p", "frame.test", 443, AddressSpace::Public, "HTTP/1.1 200 Connection established\r\n\r\n",
         "CONNECT frame.test:443 HTTP/1.1\r\nHost: frame.test:443\r\nProxy-Authorization: Basic dTpw\r\n\r\n", ""},
        {"http://p", "::1", 443, AddressSpace::Local, "HTTP/1.0 200 OK\r\nVia: p\r\n\r\n",
         "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\n\r\n", ""},
        {"http://p", "frame.test", 443, AddressSpace::Public, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n",
         "CONNECT frame.test:443 HTTP/1.1\r\nHost: frame.test:443\r\n\r\n",
         "The proxy refused the tunnel to frame.test:443: HTTP/1.1 407 Proxy Authentication Required"},
        {"https://p", "frame.test", 443, AddressSpace::Public, "", "", "Frame pages cannot go through a https:// proxy"},
    };
    for (const auto& row : rows) {
        MemoryStream stream(row.answers + "TUNNEL", 1);
        std::string error;
        try {
            OpenProxyTunnel(stream, *SplitProxyAddress(row.proxy), row.host, row.port, row.reach, IoTimeout(1000));
        } catch (const HttpError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.error) << row.proxy << " " << row.host;
        EXPECT_EQ(stream.Written(), row.written) << row.proxy << " " << row.host;
        if (error.empty()) {
            EXPECT_EQ(stream.Remaining(), 6u) << row.proxy << " " << row.host;
        }
    }
}

// The frame client of nuv-extract --proxy: a SOCKS proxy on loopback serves a host that
// only it knows.
TEST(ProxyTunnel, TheFrameClientGoesThroughTheGivenProxy) {
    test::ScriptedServer socks([](test::ServerConnection& c) {
        if (!c.ReadUntil("\x05\x01\x00"s)) return;
        c.Send("\x05\x00"s);
        if (!c.ReadUntil("\x0a" "frame.test\x00\x50"s)) return;
        c.Send("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00"s);
        while (c.ReadRequest()) c.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nframe");
    });
    HttpClient client;
    client.SetProxy("socks5h://127.0.0.1:" + std::to_string(socks.Port()));
    client.SetPageAddress([] { return std::string("http://198.51.100.7/p.html"); });
    EXPECT_EQ(client.Get("http://frame.test/f.html"), "frame");
    EXPECT_EQ(client.Get("http://frame.test/g.html"), "frame");
    ASSERT_EQ(socks.Requests().size(), 2u);
    EXPECT_EQ(socks.Requests()[0].find("GET /f.html HTTP/1.1\r\n"), 0u) << socks.Requests()[0];
    EXPECT_EQ(socks.ConnectionCount(), 1);
    EXPECT_THROW(client.Get("http://127.0.0.1:9/f.html"), HttpRefusedError);
    EXPECT_EQ(socks.ConnectionCount(), 1);
}

}  // namespace
}  // namespace nuv
