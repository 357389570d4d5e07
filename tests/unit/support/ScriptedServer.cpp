#include "support/ScriptedServer.h"

#include <cerrno>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nuv::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSlice = std::chrono::milliseconds(20);

}  // namespace

ServerConnection::ServerConnection(int fd, int index, ScriptedServer& server)
    : fd_(fd), index_(index), server_(server) {}

ServerConnection::~ServerConnection() {
    if (fd_ >= 0) close(fd_);
}

bool ServerConnection::WaitReadable(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!server_.stopping_.load()) {
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(kSlice.count()));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
    }
    return false;
}

std::optional<std::string> ServerConnection::ReadUntil(std::string_view terminator, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const size_t hit = pending_.find(terminator);
        if (hit != std::string::npos) {
            std::string head = pending_.substr(0, hit + terminator.size());
            pending_.erase(0, hit + terminator.size());
            return head;
        }
        if (closed_) return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitReadable(left)) return std::nullopt;
        char buf[4096];
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            closed_ = true;
            continue;
        }
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::optional<std::string> ServerConnection::ReadRequest(std::chrono::milliseconds timeout) {
    std::optional<std::string> request = ReadUntil("\r\n\r\n", timeout);
    if (request) server_.Record(*request);
    return request;
}

bool ServerConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, static_cast<int>(kSlice.count()));
                if (server_.stopping_.load()) return false;
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void ServerConnection::SendAndClose(std::string_view bytes) {
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    Send(bytes);
    shutdown(fd_, SHUT_WR);  // the FIN joins the corked data
    WaitForClientClose();
}

void ServerConnection::Close() {
    shutdown(fd_, SHUT_WR);
    WaitForClientClose();
}

void ServerConnection::Reset() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd_);
    fd_ = -1;
}

bool ServerConnection::WaitForClientClose(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitReadable(left)) return false;
        char buf[4096];
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) closed_ = true;
    }
    return true;
}

ScriptedServer::ScriptedServer(Script script, std::string host) : script_(std::move(script)), host_(std::move(host)) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (inet_pton(AF_INET, host_.c_str(), &addr.sin_addr) != 1 || (ntohl(addr.sin_addr.s_addr) >> 24) != 127)
        throw std::runtime_error("not a loopback address: " + host_);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(listenFd_);
        throw std::runtime_error("cannot listen on " + host_);
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_.store(true);
    thread_.join();
    close(listenFd_);
}

std::string ScriptedServer::Url(std::string_view path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ScriptedServer::Record(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
}

void ScriptedServer::Run() {
    while (!stopping_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(kSlice.count())) <= 0) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);  // every wait below is bounded
        ServerConnection connection(fd, accepted_.fetch_add(1), *this);
        script_(connection);
    }
}

}  // namespace nuv::test
