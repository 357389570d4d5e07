#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nuv::test {

class ScriptedServer;

// One accepted connection of a ScriptedServer, seen from the server's side. Every
// wait is bounded so that a test that goes wrong fails instead of hanging.
class ServerConnection {
public:
    ServerConnection(int fd, int index, ScriptedServer& server);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Reads up to and including the first `terminator`; none when the client closed
    // or nothing arrived within `timeout`. Bytes after the terminator stay for later.
    std::optional<std::string> ReadUntil(std::string_view terminator,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads one request head (through the empty line).
    std::optional<std::string> ReadRequest(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Sends every byte; false when the client has gone.
    bool Send(std::string_view bytes);
    // Sends the bytes with the close (FIN) in the same segment, so the client finds
    // the connection closed the moment it has read them.
    void SendAndClose(std::string_view bytes);
    // Ends the sending side (FIN) and keeps reading until the client closes.
    void Close();
    // Aborts the connection with a TCP reset.
    void Reset();
    // Waits until the client closes the connection; false when `timeout` passed.
    bool WaitForClientClose(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // 0 for the first connection the server accepted, 1 for the next, and so on.
    int Index() const { return index_; }
    // The socket, for scripts that run their own protocol over it (TLS).
    int NativeHandle() const { return fd_; }

private:
    // Waits for input; false at timeout or stop.
    bool WaitReadable(std::chrono::milliseconds timeout);

    int fd_;
    int index_;
    ScriptedServer& server_;
    std::string pending_;
    bool closed_ = false;
};

// A TCP server on 127.0.0.1 (an ephemeral port) whose every byte the test scripts.
// Connections are accepted one after the other on a server thread; the script runs
// for each and the connection is closed when it returns. Requests read through
// ReadRequest are recorded for the test to inspect.
class ScriptedServer {
public:
    using Script = std::function<void(ServerConnection&)>;

    // Listens on `host`, an address of the loopback network 127.0.0.0/8.
    explicit ScriptedServer(Script script, std::string host = "127.0.0.1");
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port_; }
    // "http://<host>:<port>" followed by `path`.
    std::string Url(std::string_view path = "/") const;
    int ConnectionCount() const { return accepted_.load(); }
    // Every request head read so far, in order.
    std::vector<std::string> Requests() const;

private:
    friend class ServerConnection;
    void Run();
    void Record(const std::string& request);

    Script script_;
    std::string host_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace nuv::test
