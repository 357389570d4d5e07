#include "net/TlsStream.h"

#include <climits>
#include <csignal>
#include <ctime>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <arpa/inet.h>

#include "net/HttpError.h"

namespace nuv {
namespace {

// OpenSSL writes to the socket with write(), which raises SIGPIPE on a closed peer.
// The signal is blocked for the call and a SIGPIPE it caused is consumed.
class ScopedSigpipeBlock {
public:
    ScopedSigpipeBlock() {
        sigemptyset(&pipeSet_);
        sigaddset(&pipeSet_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeSet_, &old_);
    }
    ~ScopedSigpipeBlock() {
        if (!wasPending_) {
            const timespec zero{0, 0};
            while (sigtimedwait(&pipeSet_, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    ScopedSigpipeBlock(const ScopedSigpipeBlock&) = delete;
    ScopedSigpipeBlock& operator=(const ScopedSigpipeBlock&) = delete;

private:
    sigset_t pipeSet_;
    sigset_t old_;
    bool wasPending_ = false;
};

std::string OpenSslErrorText(const std::string& what) {
    std::string text = what;
    unsigned long e = 0;
    while ((e = ERR_get_error()) != 0) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        text += text == what ? ": " : "; ";
        text += buf;
    }
    return text;
}

bool IsIpAddress(const std::string& host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

TlsContext::TlsContext(const TlsTrust& trust) {
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (ctx_ == nullptr) throw HttpError(OpenSslErrorText("TLS setup failed"));
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
    if (trust.caPem.empty()) {
        if (SSL_CTX_set_default_verify_paths(ctx_) != 1) {
            SSL_CTX_free(ctx_);
            throw HttpError(OpenSslErrorText("Could not load the system's certificate store"));
        }
        return;
    }
    X509_STORE* store = SSL_CTX_get_cert_store(ctx_);
    BIO* bio = BIO_new_mem_buf(trust.caPem.data(), static_cast<int>(trust.caPem.size()));
    int added = 0;
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        if (X509_STORE_add_cert(store, cert) == 1) ++added;
        X509_free(cert);
    }
    BIO_free(bio);
    ERR_clear_error();  // the end of the PEM text reads as an error
    if (added == 0) {
        SSL_CTX_free(ctx_);
        throw HttpError("No certificate in the trusted authorities given");
    }
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

TlsStream::TlsStream(const TlsContext& context, std::unique_ptr<TcpStream> tcp, const std::string& host,
                     IoTimeout timeout)
    : tcp_(std::move(tcp)) {
    ERR_clear_error();
    ssl_ = SSL_new(context.Native());
    if (ssl_ == nullptr) throw HttpError(OpenSslErrorText("TLS setup failed"));
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    bool ok = SSL_set_fd(ssl_, tcp_->NativeHandle()) == 1;
    if (IsIpAddress(host)) {
        ok = ok && X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        ok = ok && SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1 && SSL_set1_host(ssl_, host.c_str()) == 1;
    }
    if (!ok) {
        SSL_free(ssl_);
        throw HttpError(OpenSslErrorText("TLS setup failed"));
    }
    try {
        while (true) {
            ScopedSigpipeBlock guard;
            const int r = SSL_connect(ssl_);
            if (r == 1) break;
            WaitAfter(r, timeout, "TLS handshake failed");
        }
        if (SSL_get_verify_result(ssl_) != X509_V_OK)
            throw HttpError("TLS handshake failed: certificate verification failed");
    } catch (...) {
        SSL_free(ssl_);
        throw;
    }
}

TlsStream::~TlsStream() {
    {
        ScopedSigpipeBlock guard;
        SSL_shutdown(ssl_);  // best effort, never waits: the socket is non-blocking
    }
    SSL_free(ssl_);
}

void TlsStream::WaitAfter(int result, IoTimeout timeout, const char* what) {
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ) {
        if (!WaitForSocket(tcp_->NativeHandle(), POLLIN, timeout)) throw HttpTimeoutError("Read timed out.");
        return;
    }
    if (error == SSL_ERROR_WANT_WRITE) {
        if (!WaitForSocket(tcp_->NativeHandle(), POLLOUT, timeout)) throw HttpTimeoutError("Write timed out.");
        return;
    }
    std::string text = what;
    if (error == SSL_ERROR_SSL) {
        const long verify = SSL_get_verify_result(ssl_);
        if (verify != X509_V_OK) text += std::string(": ") + X509_verify_cert_error_string(verify);
    }
    throw HttpError(OpenSslErrorText(text));
}

std::size_t TlsStream::ReadSome(char* buffer, std::size_t size, IoTimeout timeout) {
    NetworkCheckpoint();
    ERR_clear_error();
    while (true) {
        ScopedSigpipeBlock guard;
        std::size_t n = 0;
        const int r = SSL_read_ex(ssl_, buffer, size, &n);
        if (r == 1) return n;
        const int error = SSL_get_error(ssl_, r);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;  // EOF without close_notify
        WaitAfter(r, timeout, "TLS read error");
    }
}

void TlsStream::WriteAll(std::string_view bytes, IoTimeout timeout) {
    ERR_clear_error();
    while (!bytes.empty()) {
        ScopedSigpipeBlock guard;
        std::size_t n = 0;
        const int r = SSL_write_ex(ssl_, bytes.data(), bytes.size(), &n);
        if (r == 1) {
            bytes.remove_prefix(n);
            continue;
        }
        WaitAfter(r, timeout, "TLS write error");
    }
}

StreamState TlsStream::Probe() {
    if (SSL_pending(ssl_) > 0) return StreamState::Readable;
    pollfd p{tcp_->NativeHandle(), POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return StreamState::Idle;
    ERR_clear_error();
    ScopedSigpipeBlock guard;
    char c;
    std::size_t n = 0;
    const int r = SSL_peek_ex(ssl_, &c, 1, &n);
    if (r == 1) return StreamState::Readable;
    const int error = SSL_get_error(ssl_, r);
    ERR_clear_error();
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return StreamState::Idle;
    return StreamState::Closed;
}

}  // namespace nuv
