#pragma once

#include <memory>
#include <string>

#include "net/ByteStream.h"
#include "net/TcpStream.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace nuv {

// Where TLS peers' certificates are checked against.
struct TlsTrust {
    // PEM text of the certificate authorities to trust. Empty: the system's store.
    std::string caPem;
};

// The client-side TLS settings shared by every connection of one client: peer
// verification always on, with the trust given. Created once, used from one thread.
class TlsContext {
public:
    explicit TlsContext(const TlsTrust& trust);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* Native() const { return ctx_; }

private:
    SSL_CTX* ctx_ = nullptr;
};

// A TLS connection over a TCP stream: SNI with the host name, the peer's certificate
// verified against the context's trust and matched against the host name (or the IP
// address). A verification failure is an HttpError like any other.
class TlsStream : public IByteStream {
public:
    // Runs the handshake over `tcp`, each wait limited by `timeout`.
    TlsStream(const TlsContext& context, std::unique_ptr<TcpStream> tcp, const std::string& host, IoTimeout timeout);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    std::size_t ReadSome(char* buffer, std::size_t size, IoTimeout timeout) override;
    void WriteAll(std::string_view bytes, IoTimeout timeout) override;
    StreamState Probe() override;

private:
    // Waits as the last failed call asked; throws on errors and timeouts.
    void WaitAfter(int result, IoTimeout timeout, const char* what);

    std::unique_ptr<TcpStream> tcp_;
    SSL* ssl_ = nullptr;
};

}  // namespace nuv
