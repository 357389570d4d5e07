#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/socket.h>

#include "net/ByteStream.h"
#include "web/AddressSpace.h"

namespace nuv {

// What the waits for the network on one thread answer to while a request runs on it: a
// hook that runs at least every 100 ms while they wait (the window handles its events
// there; what it throws ends the wait and leaves it unchanged) and a deadline for the
// whole request. A scope replaces the one it is nested in until it ends.
class NetworkWaitScope {
public:
    NetworkWaitScope(std::function<void()> hook, std::chrono::steady_clock::time_point deadline,
                     std::string deadlineText);
    ~NetworkWaitScope();
    NetworkWaitScope(const NetworkWaitScope&) = delete;
    NetworkWaitScope& operator=(const NetworkWaitScope&) = delete;

    // The scope of the calling thread, or none.
    static NetworkWaitScope* Current();
    // Throws HttpTimeoutError with the deadline text once the deadline has passed, and
    // runs the hook when 100 ms have passed since it last ran.
    void Checkpoint();

private:
    std::function<void()> hook_;
    std::chrono::steady_clock::time_point deadline_;
    std::string deadlineText_;
    std::chrono::steady_clock::time_point lastHook_;
    NetworkWaitScope* outer_;
};

// NetworkWaitScope::Checkpoint of the calling thread's scope; nothing without one.
void NetworkCheckpoint();

// Waits until `fd` is ready for `events` (poll flags). False when `timeout` passed
// first; a timeout of zero or less waits without limit. Under a NetworkWaitScope the
// wait goes in steps of at most 100 ms with a checkpoint before each.
bool WaitForSocket(int fd, short events, IoTimeout timeout);

// One address a host name resolved to.
struct ResolvedAddress {
    int family = 0;
    int socketType = 0;
    int protocol = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
};

// Resolves a host and service (port) to its addresses; throws HttpError when it cannot.
// May block for as long as the system resolver takes.
using Resolver = std::function<std::vector<ResolvedAddress>(const std::string& host, const std::string& service)>;

// The system resolver (getaddrinfo).
std::vector<ResolvedAddress> SystemResolve(const std::string& host, const std::string& service);

// A TCP connection over a POSIX socket. The socket is non-blocking underneath; every
// wait goes through poll with the caller's limit. Writes never raise SIGPIPE.
class TcpStream : public IByteStream {
public:
    // Resolves `host` and connects to the first of its addresses that accepts, the name
    // lookup and all attempts together within `connectTimeout`; addresses that a page of
    // space `reach` may not reach are never tried. Throws HttpError on failure,
    // HttpRefusedError when every address was refused so, HttpTimeoutError when the time
    // ran out.
    static std::unique_ptr<TcpStream> Connect(const std::string& host, int port, IoTimeout connectTimeout,
                                              const Resolver& resolve = SystemResolve,
                                              AddressSpace reach = AddressSpace::Local);

    // Takes ownership of a connected socket.
    explicit TcpStream(int fd);
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    std::size_t ReadSome(char* buffer, std::size_t size, IoTimeout timeout) override;
    void WriteAll(std::string_view bytes, IoTimeout timeout) override;
    StreamState Probe() override;

    int NativeHandle() const { return fd_; }

private:
    int fd_;
};

}  // namespace nuv
