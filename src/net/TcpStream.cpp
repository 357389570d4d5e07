#include "net/TcpStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/HttpError.h"

namespace nuv {
namespace {

using Clock = std::chrono::steady_clock;

std::string SocketErrorText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

void SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        throw HttpError(SocketErrorText("Socket error", errno));
}

int PollMillis(IoTimeout timeout) {
    if (timeout.count() <= 0) return -1;
    return timeout.count() > INT_MAX ? INT_MAX : static_cast<int>(timeout.count());
}

// Connects one address within `deadline`; returns the socket or -1 with `error` set.
int ConnectOne(const ResolvedAddress& ai, Clock::time_point deadline, int& error) {
    const int fd = socket(ai.family, ai.socketType | SOCK_CLOEXEC, ai.protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    SetNonBlocking(fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&ai.address), ai.length) == 0) return fd;
    if (errno != EINPROGRESS) {
        error = errno;
        close(fd);
        return -1;
    }
    const auto left = std::chrono::duration_cast<IoTimeout>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitForSocket(fd, POLLOUT, left)) {
        error = ETIMEDOUT;
        close(fd);
        return -1;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) soError = errno;
    if (soError != 0) {
        error = soError;
        close(fd);
        return -1;
    }
    return fd;
}

constexpr IoTimeout kWaitStep{100};

thread_local NetworkWaitScope* currentScope = nullptr;

}  // namespace

NetworkWaitScope::NetworkWaitScope(std::function<void()> hook, Clock::time_point deadline, std::string deadlineText)
    : hook_(std::move(hook)), deadline_(deadline), deadlineText_(std::move(deadlineText)), lastHook_(Clock::now()),
      outer_(currentScope) {
    currentScope = this;
}

NetworkWaitScope::~NetworkWaitScope() { currentScope = outer_; }

NetworkWaitScope* NetworkWaitScope::Current() { return currentScope; }

void NetworkWaitScope::Checkpoint() {
    const auto now = Clock::now();
    if (now >= deadline_) throw HttpTimeoutError(deadlineText_);
    if (hook_ && now - lastHook_ >= kWaitStep) {
        lastHook_ = now;
        hook_();
    }
}

void NetworkCheckpoint() {
    if (NetworkWaitScope* scope = NetworkWaitScope::Current()) scope->Checkpoint();
}

bool WaitForSocket(int fd, short events, IoTimeout timeout) {
    const bool limited = timeout.count() > 0;
    const auto deadline = Clock::now() + timeout;
    NetworkWaitScope* const scope = NetworkWaitScope::Current();
    while (true) {
        if (scope) scope->Checkpoint();
        IoTimeout left = timeout;
        if (limited) {
            left = std::chrono::duration_cast<IoTimeout>(deadline - Clock::now());
            if (left.count() <= 0) return false;
        }
        int wait = limited ? PollMillis(left) : -1;
        if (scope && (wait < 0 || wait > kWaitStep.count())) wait = static_cast<int>(kWaitStep.count());
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, wait);
        if (r > 0) return true;
        if (r == 0) {
            if (scope) continue;  // a step ended; the limit is checked above
            return false;
        }
        if (errno != EINTR) throw HttpError(SocketErrorText("Socket error", errno));
    }
}

std::vector<ResolvedAddress> SystemResolve(const std::string& host, const std::string& service) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) throw HttpError("Host not found: " + host + " (" + gai_strerror(rc) + ")");
    std::vector<ResolvedAddress> out;
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        ResolvedAddress r;
        r.family = ai->ai_family;
        r.socketType = ai->ai_socktype;
        r.protocol = ai->ai_protocol;
        std::memcpy(&r.address, ai->ai_addr, ai->ai_addrlen);
        r.length = ai->ai_addrlen;
        out.push_back(r);
    }
    freeaddrinfo(list);
    return out;
}

namespace {

// Runs `resolve` on a thread of its own and waits for it until `deadline`. A lookup that
// outlives the wait finishes alone and drops its answer.
std::vector<ResolvedAddress> ResolveBefore(const Resolver& resolve, const std::string& host,
                                           const std::string& service, Clock::time_point deadline) {
    NetworkWaitScope* const scope = NetworkWaitScope::Current();
    if (deadline == Clock::time_point::max() && !scope) return resolve(host, service);
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::vector<ResolvedAddress> addresses;
        std::exception_ptr error;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, resolve, host, service] {
        std::vector<ResolvedAddress> addresses;
        std::exception_ptr error;
        try {
            addresses = resolve(host, service);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->error = error;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    while (!lookup->finished) {
        if (Clock::now() >= deadline)
            throw HttpTimeoutError("Could not connect to " + host + ":" + service + ": name lookup timed out");
        if (scope) {
            // The hook runs without the lock: the lookup may finish meanwhile.
            lock.unlock();
            scope->Checkpoint();
            lock.lock();
        }
        const auto step = scope ? std::min(deadline, Clock::now() + kWaitStep) : deadline;
        lookup->done.wait_until(lock, step, [&] { return lookup->finished; });
    }
    if (lookup->error) std::rethrow_exception(lookup->error);
    return std::move(lookup->addresses);
}

}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, int port, IoTimeout connectTimeout,
                                              const Resolver& resolve, AddressSpace reach) {
    const std::string service = std::to_string(port);
    const auto deadline = connectTimeout.count() > 0 ? Clock::now() + connectTimeout : Clock::time_point::max();
    const std::vector<ResolvedAddress> addresses = ResolveBefore(resolve, host, service, deadline);
    int error = ECONNREFUSED;
    int fd = -1;
    std::string refused;
    bool tried = false;
    for (const ResolvedAddress& ai : addresses) {
        if (fd >= 0) break;
        if (!MayReach(reach, SpaceOfSocketAddress(reinterpret_cast<const sockaddr*>(&ai.address)))) {
            if (refused.empty()) refused = SocketAddressText(reinterpret_cast<const sockaddr*>(&ai.address));
            continue;
        }
        tried = true;
        if (Clock::now() >= deadline) {
            error = ETIMEDOUT;
            break;
        }
        fd = ConnectOne(ai, deadline, error);
    }
    if (fd < 0 && !tried && !refused.empty()) throw HttpRefusedError(PrivateNetworkRefusal(refused, reach));
    if (fd < 0) {
        const std::string text = "Could not connect to " + host + ":" + service;
        if (error == ETIMEDOUT) throw HttpTimeoutError(text + ": connect timed out");
        throw HttpError(SocketErrorText(text.c_str(), error));
    }
    return std::make_unique<TcpStream>(fd);
}

TcpStream::TcpStream(int fd) : fd_(fd) { SetNonBlocking(fd_); }

TcpStream::~TcpStream() {
    if (fd_ >= 0) close(fd_);
}

std::size_t TcpStream::ReadSome(char* buffer, std::size_t size, IoTimeout timeout) {
    NetworkCheckpoint();
    while (true) {
        const ssize_t n = recv(fd_, buffer, size, 0);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw HttpBrokenError(SocketErrorText("Socket read error", errno));
        if (!WaitForSocket(fd_, POLLIN, timeout)) throw HttpTimeoutError("Read timed out.");
    }
}

void TcpStream::WriteAll(std::string_view bytes, IoTimeout timeout) {
    NetworkCheckpoint();
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw HttpBrokenError(SocketErrorText("Socket write error", errno));
        if (!WaitForSocket(fd_, POLLOUT, timeout)) throw HttpTimeoutError("Write timed out.");
    }
}

StreamState TcpStream::Probe() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return StreamState::Idle;
    char c;
    const ssize_t n = recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) return StreamState::Readable;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return StreamState::Idle;
    return StreamState::Closed;
}

}  // namespace nuv
