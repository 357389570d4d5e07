#include "support/TlsTestServer.h"

#include <algorithm>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <sys/socket.h>

namespace nuv::test {

LoopbackCertificate::LoopbackCertificate(const char* subjectAltName) {
    key_ = EVP_EC_gen("P-256");
    cert_ = X509_new();
    X509_set_version(cert_, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert_), 11);
    X509_gmtime_adj(X509_getm_notBefore(cert_), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert_), 86400);
    X509_set_pubkey(cert_, key_);
    X509_NAME* name = X509_get_subject_name(cert_);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert_, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
    for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, subjectAltName},
                                     std::pair{NID_basic_constraints, "critical, CA:TRUE"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        X509_add_ext(cert_, ext, -1);
        X509_EXTENSION_free(ext);
    }
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

LoopbackCertificate::~LoopbackCertificate() {
    SSL_CTX_free(server_);
    X509_free(cert_);
    EVP_PKEY_free(key_);
}

void ServeTls(ServerConnection& c, const LoopbackCertificate& cert, const std::function<void(ssl_st*)>& serve) {
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
        serve(ssl);
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
}

ScriptedServer::Script TlsReply(const LoopbackCertificate& cert, std::string statusLine, std::string body, int chunks,
                                std::chrono::milliseconds pause, std::function<void(const std::string&)> onRequest) {
    return [&cert, statusLine = std::move(statusLine), body = std::move(body), chunks, pause,
            onRequest = std::move(onRequest)](ServerConnection& c) {
        ServeTls(c, cert, [&](SSL* ssl) {
            std::string request;
            char buf[4096];
            int n = 0;
            while (request.find("\r\n\r\n") == std::string::npos && (n = SSL_read(ssl, buf, sizeof buf)) > 0)
                request.append(buf, static_cast<size_t>(n));
            if (onRequest) onRequest(request);
            const std::string head = statusLine + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                     std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
            bool sent = SSL_write(ssl, head.data(), static_cast<int>(head.size())) > 0;
            const size_t piece = body.size() / static_cast<size_t>(chunks > 0 ? chunks : 1) + 1;
            for (size_t at = 0; sent && at < body.size(); at += piece) {
                if (at > 0 && pause.count() > 0) std::this_thread::sleep_for(pause);
                const size_t len = std::min(piece, body.size() - at);
                sent = SSL_write(ssl, body.data() + at, static_cast<int>(len)) > 0;
            }
        });
    };
}

TlsSite::TlsSite(const LoopbackCertificate& cert)
    : cert_(cert), server_([this](ServerConnection& c) { Serve(c); }) {}

void TlsSite::Put(const std::string& path, std::string body, std::string statusLine, int chunks,
                  std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    Answer& a = answers_[path];
    a.statusLine = std::move(statusLine);
    a.body = std::move(body);
    a.chunks = chunks > 0 ? chunks : 1;
    a.pause = pause;
}

void TlsSite::Hold(const std::string& path) {
    std::lock_guard lock(mutex_);
    answers_[path].held = true;
    releasedFlag_ = false;
}

void TlsSite::Release() {
    {
        std::lock_guard lock(mutex_);
        releasedFlag_ = true;
    }
    released_.notify_all();
}

std::string TlsSite::Url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(Port()) + path; }

int TlsSite::RequestCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
}

void TlsSite::Serve(ServerConnection& c) {
    ServeTls(c, cert_, [&](SSL* ssl) {
        std::string request;
        char buf[4096];
        int n = 0;
        while (request.find("\r\n\r\n") == std::string::npos && (n = SSL_read(ssl, buf, sizeof buf)) > 0)
            request.append(buf, static_cast<size_t>(n));
        const size_t start = request.find(' ');
        if (start == std::string::npos) return;
        const std::string path = request.substr(start + 1, request.find(' ', start + 1) - start - 1);
        if (path.empty()) return;
        Answer a;
        {
            std::unique_lock lock(mutex_);
            ++requests_[path];
            if (const auto it = answers_.find(path); it != answers_.end()) a = it->second;
            if (a.held) released_.wait_for(lock, std::chrono::seconds(20), [this] { return releasedFlag_; });
        }
        const std::string head = a.statusLine + "\r\nContent-Type: " +
                                 (path.back() == '/' || path.ends_with(".html") ? "text/html; charset=utf-8"
                                                                         : "application/octet-stream") +
                                 "\r\nContent-Length: " + std::to_string(a.body.size()) +
                                 "\r\nConnection: close\r\n\r\n";
        bool sent = SSL_write(ssl, head.data(), static_cast<int>(head.size())) > 0;
        const size_t piece = a.body.size() / static_cast<size_t>(a.chunks) + 1;
        for (size_t at = 0; sent && at < a.body.size(); at += piece) {
            if (at > 0 && a.pause.count() > 0) std::this_thread::sleep_for(a.pause);
            const size_t len = std::min(piece, a.body.size() - at);
            sent = SSL_write(ssl, a.body.data() + at, static_cast<int>(len)) > 0;
        }
    });
}

}  // namespace nuv::test
