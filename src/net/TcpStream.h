#pragma once

#include <memory>
#include <string>

#include "net/ByteStream.h"

namespace nuv {

// Waits until `fd` is ready for `events` (poll flags). False when `timeout` passed
// first; a timeout of zero or less waits without limit.
bool WaitForSocket(int fd, short events, IoTimeout timeout);

// A TCP connection over a POSIX socket. The socket is non-blocking underneath; every
// wait goes through poll with the caller's limit. Writes never raise SIGPIPE.
class TcpStream : public IByteStream {
public:
    // Resolves `host` and connects to the first of its addresses that accepts, all
    // attempts together within `connectTimeout`. Throws HttpError on failure.
    static std::unique_ptr<TcpStream> Connect(const std::string& host, int port, IoTimeout connectTimeout);

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
