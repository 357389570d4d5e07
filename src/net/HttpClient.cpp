#include "net/HttpClient.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "common/Text.h"
#include "net/ProxyTunnel.h"
#include "net/TcpStream.h"
#include "web/FetchPolicy.h"
#include "web/ProxyChoice.h"

namespace nuv {
namespace {

std::string DurationText(IoTimeout d) {
    if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
    return std::to_string(d.count()) + " ms";
}

}  // namespace

struct HttpClient::Connection {
    Connection(std::unique_ptr<IByteStream> s, const HttpAddress& a, AddressSpace r)
        : stream(std::move(s)), reader(*stream), host(a.host), port(a.port), https(a.IsHttps()), reach(r) {}

    std::unique_ptr<IByteStream> stream;
    HttpReader reader;
    std::string host;
    int port;
    bool https;
    AddressSpace reach;      // the rule it was connected under
    bool keepAlive = false;  // the last response allowed reuse and was read completely

    // A connection made for a page of a more private space may lead where this one may not.
    bool Serves(const HttpAddress& a, AddressSpace r) const {
        return host == a.host && port == a.port && https == a.IsHttps() && MayReach(r, reach);
    }
    // Reusable when the server has neither closed nor sent anything unasked.
    bool StillUsable() { return keepAlive && reader.Buffered() == 0 && stream->Probe() == StreamState::Idle; }
};

SocketConnector::SocketConnector(TlsTrust trust) : trust_(std::move(trust)) {}

SocketConnector::~SocketConnector() = default;

std::unique_ptr<IByteStream> SocketConnector::Open(const HttpAddress& address, const HttpLimits& limits,
                                                   AddressSpace reach) {
    const IoTimeout handshakeTimeout = limits.connectTimeout.count() > 0 ? limits.connectTimeout : limits.readTimeout;
    const std::string via = EnvironmentProxy(address.scheme, address.host, proxy_);
    std::unique_ptr<TcpStream> tcp;
    if (via.empty()) {
        tcp = TcpStream::Connect(address.host, address.port, limits.connectTimeout, SystemResolve, reach);
    } else {
        const std::optional<ProxyServer> proxy = SplitProxyAddress(via);
        if (!proxy) throw HttpError("The proxy address " + via + " is not usable");
        const bool forwarded = proxy->scheme == "http" && !address.IsHttps();
        // A host written as a number is judged before the proxy hears of it.
        JudgeProxiedHost(address.host, reach);
        // The proxy is the user's own choice: it may be on this machine.
        tcp = TcpStream::Connect(proxy->host, proxy->port, limits.connectTimeout, SystemResolve, AddressSpace::Local);
        if (!forwarded) OpenProxyTunnel(*tcp, *proxy, address.host, address.port, reach, handshakeTimeout);
    }
    if (!address.IsHttps()) return tcp;
    if (!tls_) tls_ = std::make_unique<TlsContext>(trust_);
    return std::make_unique<TlsStream>(*tls_, std::move(tcp), address.host, handshakeTimeout);
}

std::optional<std::string> SocketConnector::Forwarding(const HttpAddress& address) const {
    if (address.IsHttps()) return std::nullopt;
    const std::string via = EnvironmentProxy(address.scheme, address.host, proxy_);
    const std::optional<ProxyServer> proxy = via.empty() ? std::nullopt : SplitProxyAddress(via);
    if (!proxy || proxy->scheme != "http") return std::nullopt;
    return ProxyAuthorization(*proxy);
}

HttpClient::HttpClient(std::unique_ptr<IHttpConnector> connector, HttpLimits limits, Clock clock)
    : connector_(connector ? std::move(connector) : std::make_unique<SocketConnector>()),
      limits_(limits),
      clock_(clock ? std::move(clock) : Clock([] {
          return static_cast<UnixSeconds>(std::chrono::duration_cast<std::chrono::seconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count());
      })) {}

HttpClient::~HttpClient() = default;

void HttpClient::Disconnect() { connection_.reset(); }

void HttpClient::Pause(std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(100)));
        if (waitHook_) waitHook_();
    }
}

std::string HttpClient::BuildRequest(const HttpAddress& address) const {
    // A proxy that forwards the request is given the whole address.
    const std::optional<std::string> forwarding = connector_->Forwarding(address);
    const std::string target =
        forwarding ? address.scheme + "://" + address.HostValue() + address.RequestTarget() : address.RequestTarget();
    std::string request = "GET " + target + " HTTP/" + settings_.protocolVersion + "\r\n";
    const auto header = [&request](std::string_view name, const std::string& value) {
        if (value.empty()) return;
        request.append(name).append(": ").append(value).append("\r\n");
    };
    header("Content-Type", settings_.contentType);
    header("Host", address.HostValue());
    header("Accept", settings_.accept);
    header("User-Agent", settings_.userAgent);
    header("Cookie", cookies_.CookieHeader(address.host, address.path + address.document, address.IsHttps()));
    if (forwarding) header("Proxy-Authorization", *forwarding);
    request += "\r\n";
    return request;
}

void HttpClient::StoreCookies(const HttpResponseHead& head, const HttpAddress& address) {
    const UnixSeconds now = clock_();
    for (const std::string& line : head.headerLines) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = NormalizedKey(std::string_view(line).substr(0, colon));
        const std::string_view value = TrimView(std::string_view(line).substr(colon + 1));
        if (name == "set-cookie") cookies_.StoreSetCookie(value, address.host, address.path, now);
        else if (name == "set-cookie2") cookies_.StoreSetCookie2(value, address.host, address.path, now);
    }
}

std::string HttpClient::Get(const std::string& address) {
    if (!MayFetch(address, {})) throw HttpRefusedError(RefusalText(address));
    const HttpAddress target = SplitHttpAddress(address);
    const auto deadline = limits_.totalTimeout.count() > 0 ? std::chrono::steady_clock::now() + limits_.totalTimeout
                                                           : std::chrono::steady_clock::time_point::max();
    std::exception_ptr hookFailure;
    NetworkWaitScope waits(
        [this, &hookFailure] {
            if (!waitHook_) return;
            try {
                waitHook_();
            } catch (...) {
                hookFailure = std::current_exception();
                throw;
            }
        },
        deadline,
        "The request took longer than " + DurationText(limits_.totalTimeout));
    const AddressSpace reach =
        allowPrivate_ ? AddressSpace::Local : SpaceOfPage(pageAddress_ ? pageAddress_() : std::string());
    if (connection_ && !(connection_->Serves(target, reach) && connection_->StillUsable())) connection_.reset();

    cookies_.RemoveExpired(clock_());
    const std::string request = BuildRequest(target);

    // A kept connection may have been closed by the server in the moment before this
    // request went out; a request that got no answer at all on it goes once more over a
    // new connection.
    const bool reused = connection_ != nullptr;
    for (int attempt = 0;; ++attempt) {
        if (!connection_) connection_ = std::make_unique<Connection>(connector_->Open(target, limits_, reach), target, reach);
        connection_->keepAlive = false;
        try {
            return Exchange(target, request);
        } catch (const HttpProtocolError&) {
            throw;  // the exchange decided about the connection
        } catch (const HttpTimeoutError&) {
            connection_.reset();
            throw;
        } catch (...) {
            connection_.reset();  // half-read: never reused
            if (hookFailure || !reused || attempt > 0 || !lastResponse_.statusLine.empty()) throw;
        }
    }
}

std::string HttpClient::Exchange(const HttpAddress& address, const std::string& request) {
    Connection& c = *connection_;
    c.stream->WriteAll(request, limits_.readTimeout);

    lastResponse_ = HttpResponseHead();
    lastResponse_ = ReadResponseHead(c.reader, limits_, limits_.readTimeout,
                                     [&](const HttpResponseHead& head) { StoreCookies(head, address); });
    const HttpResponseHead& head = lastResponse_;
    const int code = head.statusCode;
    const auto isClose = [](const std::string& value) { return NormalizedKey(value) == "close"; };
    // An HTTP/1.0 server keeps the connection only when it says so.
    const bool keepAlive = StartsWith(head.statusLine, "HTTP/1.0")
                               ? NormalizedKey(head.Value("Connection")) == "keep-alive"
                               : !isClose(head.Value("Connection")) && !isClose(head.Value("Proxy-Connection"));

    const bool redirect = (code >= 300 && code <= 399 && code != 304) || !head.Value("Location").empty();
    if (redirect || code < 200 || code > 299) {
        // 1xx, 204 and 304 responses carry no body whatever their headers say.
        const bool bodyless = code < 200 || code == 204 || code == 304;
        std::string body;
        if (!bodyless) body = ReadResponseBody(c.reader, head, limits_, limits_.failureBodyTimeout);
        c.keepAlive = keepAlive;
        if (!keepAlive || c.stream->Probe() == StreamState::Closed) connection_.reset();
        throw HttpProtocolError(code, head.statusLine, std::move(body));
    }

    if (c.reader.Buffered() == 0 && c.stream->Probe() == StreamState::Closed) throw HttpBrokenError("Undefined situation");
    std::string body;
    if (code != 204) body = ReadResponseBody(c.reader, head, limits_, limits_.readTimeout);
    c.keepAlive = keepAlive;
    if (!keepAlive || c.stream->Probe() == StreamState::Closed) connection_.reset();
    return body;
}

}  // namespace nuv
