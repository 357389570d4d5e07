#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "support/ScriptedServer.h"

struct evp_pkey_st;
struct ssl_st;
struct ssl_ctx_st;
struct x509_st;

namespace nuv::test {

// A self-signed certificate, made for one test run, for the names of `subjectAltName`
// (127.0.0.1 and "localhost" unless given), and a TLS server context that presents it.
// A client trusts it through Pem().
class LoopbackCertificate {
public:
    explicit LoopbackCertificate(const char* subjectAltName = "IP:127.0.0.1, DNS:localhost");
    ~LoopbackCertificate();
    LoopbackCertificate(const LoopbackCertificate&) = delete;
    LoopbackCertificate& operator=(const LoopbackCertificate&) = delete;

    const std::string& Pem() const { return pem_; }
    ssl_ctx_st* ServerContext() const { return server_; }

private:
    evp_pkey_st* key_ = nullptr;
    x509_st* cert_ = nullptr;
    ssl_ctx_st* server_ = nullptr;
    std::string pem_;
};

// Runs a blocking TLS session over the connection `c` with `cert`'s identity: `serve` gets
// the session once the handshake succeeded; the session is shut down afterwards.
void ServeTls(ServerConnection& c, const LoopbackCertificate& cert, const std::function<void(ssl_st*)>& serve);

// A ScriptedServer script: TLS on each connection, and its first request answered with
// `statusLine` (e.g. "HTTP/1.1 200 OK") and `body`, sent in `chunks` pieces `pause` apart;
// then the connection closes. `onRequest`, when given, sees the request head.
ScriptedServer::Script TlsReply(const LoopbackCertificate& cert, std::string statusLine, std::string body,
                                int chunks = 1, std::chrono::milliseconds pause = {},
                                std::function<void(const std::string&)> onRequest = {});

// An https site on 127.0.0.1 with `cert`'s identity. Each connection carries one request,
// answered from what the test put under its path (404 without), then closes. Paths that
// end in "/" or ".html" are served as HTML, the others as bytes.
// Connections are served one after the other.
class TlsSite {
public:
    explicit TlsSite(const LoopbackCertificate& cert);

    // `body` under `path` (the request target as sent), sent in `chunks` pieces `pause` apart.
    void Put(const std::string& path, std::string body, std::string statusLine = "HTTP/1.1 200 OK", int chunks = 1,
             std::chrono::milliseconds pause = {});
    // Requests for `path` get their answer only once Release is called (at most 20 s later).
    void Hold(const std::string& path);
    void Release();
    int Port() const { return server_.Port(); }
    // "https://127.0.0.1:PORT" followed by `path`.
    std::string Url(const std::string& path) const;
    int RequestCount(const std::string& path) const;
    int ConnectionCount() const { return server_.ConnectionCount(); }

private:
    struct Answer {
        std::string statusLine = "HTTP/1.1 404 Not Found";
        std::string body;
        int chunks = 1;
        std::chrono::milliseconds pause{};
        bool held = false;
    };
    void Serve(ServerConnection& c);

    const LoopbackCertificate& cert_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool releasedFlag_ = false;
    std::map<std::string, Answer> answers_;
    std::map<std::string, int> requests_;
    ScriptedServer server_;  // last: its thread serves from the members above
};

}  // namespace nuv::test
