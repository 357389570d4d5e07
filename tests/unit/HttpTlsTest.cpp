#include "net/HttpClient.h"

#include <csignal>
#include <memory>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <sys/socket.h>

#include "support/ScriptedServer.h"

namespace nuv {
namespace {

using test::ScriptedServer;
using test::ServerConnection;

// A self-signed certificate for "localhost" only, made for this test run, and a TLS
// server context that presents it.
class LocalhostCertificate {
public:
    LocalhostCertificate() {
        key_ = EVP_EC_gen("P-256");
        cert_ = X509_new();
        X509_set_version(cert_, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert_), 7);
        X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert_), 86400);
        X509_set_pubkey(cert_, key_);
        X509_NAME* name = X509_get_subject_name(cert_);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert_, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
        X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost");
        X509_add_ext(cert_, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(cert_, key_, EVP_sha256());

        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(bio, cert_);
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        pem_.assign(data, static_cast<size_t>(size));
        BIO_free(bio);

        server_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(server_, cert_);
        SSL_CTX_use_PrivateKey(server_, key_);
    }
    ~LocalhostCertificate() {
        SSL_CTX_free(server_);
        X509_free(cert_);
        EVP_PKEY_free(key_);
    }

    const std::string& Pem() const { return pem_; }
    SSL_CTX* ServerContext() const { return server_; }

private:
    EVP_PKEY* key_ = nullptr;
    X509* cert_ = nullptr;
    SSL_CTX* server_ = nullptr;
    std::string pem_;
};

// Serves TLS on each connection: every request gets a reply that sets a secure
// cookie and echoes the Cookie header the client sent.
ScriptedServer::Script TlsEcho(const LocalhostCertificate& cert) {
    return [&cert](ServerConnection& c) {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const int fd = c.NativeHandle();
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) & ~O_NONBLOCK);
        timeval limit{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        SSL* ssl = SSL_new(cert.ServerContext());
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
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
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        ERR_clear_error();
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
