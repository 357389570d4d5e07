#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/ByteStream.h"
#include "net/CookieJar.h"
#include "net/HttpAddress.h"
#include "net/HttpError.h"
#include "net/HttpResponse.h"
#include "net/TlsStream.h"
#include "web/AddressSpace.h"

namespace nuv {

// Opens the byte stream to an address's host and port: the seam where tests and the
// fuzzer put a memory stream in place of a socket.
class IHttpConnector {
public:
    virtual ~IHttpConnector() = default;
    // Connects to `address.host` and `address.port`, over TLS for https, never to an
    // address that a page of space `reach` may not reach (HttpRefusedError).
    virtual std::unique_ptr<IByteStream> Open(const HttpAddress& address, const HttpLimits& limits,
                                              AddressSpace reach) = 0;
    // The proxy its connections go through, as nuv-extract --proxy names it ("" for the
    // environment's); a connector without proxies ignores it.
    virtual void SetProxy(std::string proxy) { (void)proxy; }
    // For a request that goes to a proxy that forwards it (an http address through an
    // HTTP proxy): the value of its Proxy-Authorization header ("" without a user).
    // Nothing when the request goes to the server itself or through a tunnel.
    virtual std::optional<std::string> Forwarding(const HttpAddress& address) const {
        (void)address;
        return std::nullopt;
    }
};

// Plain TCP for http (and any other scheme given with a port), TLS for https; through
// the proxy that EnvironmentProxy chooses for the address: an http address through an
// HTTP proxy is forwarded, the others go through a tunnel (CONNECT, SOCKS5).
class SocketConnector : public IHttpConnector {
public:
    // `trust` says which certificate authorities TLS peers are checked against.
    explicit SocketConnector(TlsTrust trust = {});
    ~SocketConnector() override;

    std::unique_ptr<IByteStream> Open(const HttpAddress& address, const HttpLimits& limits,
                                      AddressSpace reach) override;
    void SetProxy(std::string proxy) override { proxy_ = std::move(proxy); }
    std::optional<std::string> Forwarding(const HttpAddress& address) const override;

private:
    TlsTrust trust_;
    std::string proxy_;
    std::unique_ptr<TlsContext> tls_;  // made on the first https address
};

// The fixed request settings; a header whose value is empty is not sent.
struct HttpClientSettings {
    std::string protocolVersion = "1.1";
    std::string contentType = "text/html";
    std::string accept = "text/html, */*";
    std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
};

// The program's HTTP/1.1 GET client (the main window's `IdHTTP1`). Blocking, for one
// thread. Keeps one connection open for reuse by the next request to the same host,
// port and scheme while responses allow it, and an in-memory cookie jar. Never follows
// redirects, sends no body, no credentials and no Referer.
class HttpClient {
public:
    // Seconds since 1970 in UTC; the cookie jar's notion of now.
    using Clock = std::function<UnixSeconds()>;

    explicit HttpClient(std::unique_ptr<IHttpConnector> connector = nullptr, HttpLimits limits = {},
                        Clock clock = nullptr);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Fetches `address` and returns the body byte for byte. Only http and https are
    // fetched: another scheme throws HttpRefusedError before anything is sent. The
    // whole request is bounded by the limits' total time (HttpTimeoutError) and the
    // body by their size. Throws HttpProtocolError
    // for a redirect or a status other than 2xx (with the status code, the status
    // line and the body), HttpError for every other failure, "Undefined situation"
    // when a 2xx response ends with the connection before a body could be read.
    std::string Get(const std::string& address);

    // The head of the last response read (status line, code, header lines).
    const HttpResponseHead& LastResponse() const { return lastResponse_; }
    CookieJar& Cookies() { return cookies_; }
    HttpClientSettings& Settings() { return settings_; }
    const HttpLimits& Limits() const { return limits_; }

    // Runs at least every 100 ms while a request waits for the network (the window
    // handles its events there). What it throws ends the request (its connection is
    // dropped) and leaves Get unchanged.
    void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
    // Waits `wait` in steps of at most 100 ms, running the wait hook after each; what the
    // hook throws ends the wait.
    void Pause(std::chrono::milliseconds wait);

    // The address of the page whose frames are fetched, read at each Get: a page on the
    // public network never makes the client connect to a private or loopback address.
    // Without it (or with "") the request is the user's own and reaches everywhere.
    void SetPageAddress(std::function<std::string()> page) { pageAddress_ = std::move(page); }
    // Lifts that rule (nuv-extract --allow-private-network).
    void SetAllowPrivateNetwork(bool on) { allowPrivate_ = on; }
    // The proxy of every request (nuv-extract --proxy) instead of the environment's.
    void SetProxy(std::string proxy) { connector_->SetProxy(std::move(proxy)); }

    // True while a connection is held for reuse.
    bool Connected() const { return connection_ != nullptr; }
    // Closes the held connection, if any.
    void Disconnect();

private:
    struct Connection;

    std::string BuildRequest(const HttpAddress& address) const;
    std::string Exchange(const HttpAddress& address, const std::string& request);
    void StoreCookies(const HttpResponseHead& head, const HttpAddress& address);

    std::unique_ptr<IHttpConnector> connector_;
    HttpLimits limits_;
    Clock clock_;
    HttpClientSettings settings_;
    CookieJar cookies_;
    HttpResponseHead lastResponse_;
    std::unique_ptr<Connection> connection_;
    std::function<void()> waitHook_;
    std::function<std::string()> pageAddress_;
    bool allowPrivate_ = false;
};

}  // namespace nuv
