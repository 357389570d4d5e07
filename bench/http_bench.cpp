// Throughput of HttpClient::Get for a 100 MB body from a loopback server, beside
// libcurl fetching the same body from the same server in the same run.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/HttpClient.h"

namespace {

constexpr std::size_t kBodySize = std::size_t{100} << 20;

// Answers every GET on every connection with the same 100 MB body (Content-Length,
// keep-alive). One thread per connection.
class BodyServer {
public:
    BodyServer() : body_(kBodySize, '\0') {
        for (std::size_t i = 0; i < body_.size(); ++i) body_[i] = static_cast<char>('a' + i % 26);
        head_ = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(kBodySize) + "\r\n\r\n";
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listenFd_, 8);
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~BodyServer() {
        stopping_ = true;
        acceptor_.join();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const int fd : fds_) shutdown(fd, SHUT_RDWR);
        }
        for (std::thread& t : workers_) t.join();
        close(listenFd_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/body.html"; }

private:
    void Accept() {
        while (!stopping_) {
            pollfd p{listenFd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::lock_guard<std::mutex> lock(mutex_);
            fds_.push_back(fd);
            workers_.emplace_back([this, fd] { Serve(fd); });
        }
    }
    void Serve(int fd) {
        std::string pending;
        char buf[4096];
        while (true) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
                pending.erase(0, end + 4);
                if (!SendAll(fd, head_) || !SendAll(fd, body_)) {
                    close(fd);
                    return;
                }
            }
        }
        close(fd);
    }
    static bool SendAll(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    std::string body_;
    std::string head_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<int> fds_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

BodyServer& Server() {
    static BodyServer server;
    return server;
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// One libcurl handle kept across fetches, so it reuses its connection as Get does.
class CurlFetcher {
public:
    CurlFetcher() : handle_(curl_easy_init()) {
        curl_easy_setopt(handle_, CURLOPT_URL, Server().Url().c_str());
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, AppendToString);
    }
    ~CurlFetcher() { curl_easy_cleanup(handle_); }
    std::string Fetch() {
        std::string body;
        body.reserve(kBodySize);  // as Get does from Content-Length
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &body);
        if (curl_easy_perform(handle_) != CURLE_OK) body.clear();
        return body;
    }

private:
    CURL* handle_;
};

void BM_Get100MB(benchmark::State& state) {
    nuv::HttpClient client;
    const std::string url = Server().Url();
    for (auto _ : state) {
        const std::string body = client.Get(url);
        if (body.size() != kBodySize) state.SkipWithError("short body");
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(BM_Get100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Curl100MB(benchmark::State& state) {
    CurlFetcher curl;
    for (auto _ : state) {
        const std::string body = curl.Fetch();
        if (body.size() != kBodySize) state.SkipWithError("short body");
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(BM_Curl100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both clients in alternation; "ratio" is Get's time over libcurl's (goal: <= 1.2).
void BM_GetVersusCurl(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    nuv::HttpClient client;
    CurlFetcher curl;
    const std::string url = Server().Url();
    double getSeconds = 0;
    double curlSeconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        const std::string a = client.Get(url);
        auto t1 = Clock::now();
        const std::string b = curl.Fetch();
        auto t2 = Clock::now();
        if (a != b) state.SkipWithError("bodies differ");
        getSeconds += std::chrono::duration<double>(t1 - t0).count();
        curlSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["get_ms"] = getSeconds / n * 1000;
    state.counters["curl_ms"] = curlSeconds / n * 1000;
    state.counters["ratio"] = curlSeconds > 0 ? getSeconds / curlSeconds : 0;
}
BENCHMARK(BM_GetVersusCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
