#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace nuv {

// A time limit for one read or write; zero or less waits without limit.
using IoTimeout = std::chrono::milliseconds;

// What a stream holds at a moment, found without waiting.
enum class StreamState {
    Idle,      // open, nothing waiting to be read
    Readable,  // bytes are waiting
    Closed,    // the peer has closed (or failed) and everything it sent has been read
};

// The byte transport below the HTTP client: plain TCP, TLS, or memory. Blocking;
// used by one thread at a time. Failures throw HttpError (HttpTimeoutError when a
// limit passes without progress).
class IByteStream {
public:
    virtual ~IByteStream() = default;

    // Reads between 1 and `size` bytes into `buffer`, waiting up to `timeout` for the
    // first one. Returns 0 when the peer has closed its side and everything it sent
    // has been read.
    virtual std::size_t ReadSome(char* buffer, std::size_t size, IoTimeout timeout) = 0;

    // Writes every byte, waiting up to `timeout` each time the transport is full.
    virtual void WriteAll(std::string_view bytes, IoTimeout timeout) = 0;

    // Without waiting, what a read would find now.
    virtual StreamState Probe() = 0;
};

// A stream over bytes held in memory, for tests and fuzzing. Reads hand out at most
// `maxChunk` bytes at a time (to exercise every split of the input); what is written
// is kept for inspection. After the input is used up, reads report the close.
class MemoryStream : public IByteStream {
public:
    explicit MemoryStream(std::string input, std::size_t maxChunk = 1 << 20);

    std::size_t ReadSome(char* buffer, std::size_t size, IoTimeout timeout) override;
    void WriteAll(std::string_view bytes, IoTimeout timeout) override;
    StreamState Probe() override;

    // Everything written so far.
    const std::string& Written() const { return written_; }
    // How many input bytes have not been read yet.
    std::size_t Remaining() const { return input_.size() - position_; }

private:
    std::string input_;
    std::size_t position_ = 0;
    std::size_t maxChunk_;
    std::string written_;
};

}  // namespace nuv
