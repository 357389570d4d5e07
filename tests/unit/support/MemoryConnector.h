#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "net/HttpClient.h"

namespace nuv::test {

// Hands out one memory stream per connection, each holding the next canned server
// reply, and keeps every byte the client wrote, one entry per connection.
class MemoryConnector : public IHttpConnector {
public:
    struct Log {
        std::vector<std::string> written;  // per connection
        std::vector<std::string> hosts;    // host:port of every connection opened
    };

    MemoryConnector(std::deque<std::string> replies, std::shared_ptr<Log> log, std::size_t maxChunk = 1 << 20)
        : replies_(std::move(replies)), log_(std::move(log)), maxChunk_(maxChunk) {}

    std::unique_ptr<IByteStream> Open(const HttpAddress& address, const HttpLimits&, AddressSpace) override {
        if (replies_.empty()) throw HttpError("connection refused");
        std::string reply = std::move(replies_.front());
        replies_.pop_front();
        log_->written.emplace_back();
        log_->hosts.push_back(address.host + ":" + std::to_string(address.port));
        return std::make_unique<Stream>(std::move(reply), maxChunk_, log_, log_->written.size() - 1);
    }

private:
    class Stream : public MemoryStream {
    public:
        Stream(std::string input, std::size_t maxChunk, std::shared_ptr<Log> log, std::size_t slot)
            : MemoryStream(std::move(input), maxChunk), log_(std::move(log)), slot_(slot) {}
        void WriteAll(std::string_view bytes, IoTimeout timeout) override {
            MemoryStream::WriteAll(bytes, timeout);
            log_->written[slot_].append(bytes);
        }

    private:
        std::shared_ptr<Log> log_;
        std::size_t slot_;
    };

    std::deque<std::string> replies_;
    std::shared_ptr<Log> log_;
    std::size_t maxChunk_;
};

}  // namespace nuv::test
