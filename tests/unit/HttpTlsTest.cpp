#include "net/HttpClient.h"

#include <csignal>
#include <memory>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/socket.h>

#include "support/ScriptedServer.h"
#include "support/TlsTestServer.h"

namespace nuv {
namespace {

using test::ScriptedServer;
using test::ServerConnection;

// A certificate for "localhost" only: 127.0.0.1 is a wrong name for it.
class LocalhostCertificate : public test::LoopbackCertificate {
public:
    LocalhostCertificate() : LoopbackCertificate("DNS:localhost") {}
};

// Serves TLS on each connection: every request gets a reply that sets a secure
// cookie and echoes the Cookie header the client sent.
ScriptedServer::Script TlsEcho(const LocalhostCertificate& cert) {
    return [&cert](ServerConnection& c) {
        test::ServeTls(c, cert, [](SSL* ssl) {
            std::string pending;
            char buf[4096];
            int n = 0;
            while ((n = SSL_read(ssl, buf, sizeof buf)) > 0) {
                pending.append(buf, static_cast<size_t>(n));
                size_t end;
                while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                    const std::string request = pending.substr(0, end);
                    pending.erase(0, end + 4);
                    const size_t at = request.find("Cookie: ");
                    const std::string cookie = at == std::string::npos ? "none" : request.substr(at + 8);
                    const std::string reply = "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; Secure; path=/\r\nContent-Length: " +
                                              std::to_string(cookie.size()) + "\r\n\r\n" + cookie;
                    SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
                }
            }
        });
    };
}

std::unique_ptr<IHttpConnector> Trusting(const std::string& pem) {
    return std::make_unique<SocketConnector>(TlsTrust{pem});
}

TEST(HttpTls, TrustedCertificateWorksAndSecureCookiesTravelOverIt) {
    LocalhostCertificate cert;
    ScriptedServer server(TlsEcho(cert));
    HttpClient client(Trusting(cert.Pem()));
    const std::string base = "https://localhost:" + std::to_string(server.Port());
    EXPECT_EQ(client.Get(base + "/a"), "none");
    EXPECT_EQ(client.Get(base + "/b"), "s=1");
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(client.LastResponse().statusLine, "HTTP/1.1 200 OK");
}

TEST(HttpTls, UntrustedCertificateOrWrongHostNameFails) {
    LocalhostCertificate cert;
    ScriptedServer server(TlsEcho(cert));
    const std::string port = std::to_string(server.Port());
    {
        HttpClient systemStore;  // the self-signed certificate is in no system store
        EXPECT_THROW(systemStore.Get("https://localhost:" + port + "/"), HttpError);
    }
    {
        LocalhostCertificate other;
        HttpClient wrongAuthority(Trusting(other.Pem()));
        EXPECT_THROW(wrongAuthority.Get("https://localhost:" + port + "/"), HttpError);
    }
    HttpClient wrongName(Trusting(cert.Pem()));
    try {
        wrongName.Get("https://127.0.0.1:" + port + "/");  // the certificate names localhost only
        FAIL();
    } catch (const HttpError& e) {
        EXPECT_NE(std::string(e.what()).find("TLS handshake failed"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(wrongName.Connected());
    // The same client, pointed at the right name, still works.
    EXPECT_EQ(wrongName.Get("https://localhost:" + port + "/"), "none");
}

TEST(HttpTls, PlainHttpToATlsPortAndBadTrustTextFail) {
    LocalhostCertificate cert;
    ScriptedServer server(TlsEcho(cert));
    HttpLimits limits;
    limits.readTimeout = std::chrono::milliseconds(1000);
    HttpClient plain(nullptr, limits);
    EXPECT_THROW(plain.Get("http://localhost:" + std::to_string(server.Port()) + "/"), HttpError);
    HttpClient badTrust(Trusting("not a certificate"));
    EXPECT_THROW(badTrust.Get("https://localhost:" + std::to_string(server.Port()) + "/"), HttpError);
}

}  // namespace
}  // namespace nuv
