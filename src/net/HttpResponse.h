#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/ByteStream.h"

namespace nuv {

// The limits of one client. Every wait and every size is bounded so that a slow,
// silent or hostile server ends the request with an error instead of hanging the
// caller or exhausting memory.
struct HttpLimits {
    IoTimeout connectTimeout{15000};     // all addresses of the host together
    IoTimeout readTimeout{30000};        // one read or write without progress
    IoTimeout failureBodyTimeout{2000};  // reads of the body of a refused request
    IoTimeout totalTimeout{60000};       // one whole request, connection included
    std::size_t maxLineLength = 16384;   // status, header and chunk lines, without CR LF
    std::size_t maxHeaderBytes = std::size_t{1} << 20;  // all head lines of one response
    std::size_t maxBodyBytes = std::size_t{16} << 20;
};

// Status line and header lines of a response, as received.
struct HttpResponseHead {
    std::string statusLine;
    int statusCode = -1;
    std::vector<std::string> headerLines;  // "Name: value", in order of arrival

    // The trimmed value of the first header called `name` (case ignored), or none.
    std::optional<std::string> Find(std::string_view name) const;
    // As Find, with empty text for a missing header.
    std::string Value(std::string_view name) const;
};

// The status code of a status line: its second blank-separated word read as a
// decimal number, -1 when that word is missing or not a number.
int ParseStatusCode(std::string_view statusLine);

// Buffered reading of lines and counted bytes from one stream. The buffer belongs to
// the connection: bytes read ahead stay for the next call.
class HttpReader {
public:
    static constexpr std::size_t kBufferSize = 32768;

    explicit HttpReader(IByteStream& stream);

    // Reads one line up to LF and returns it without the LF and a CR before it. At the
    // close of the stream returns what arrived of the line, or none when nothing did.
    // Throws HttpError when the line grows beyond `maxLength` bytes.
    std::optional<std::string> ReadLine(std::size_t maxLength, IoTimeout timeout);

    // Appends up to `count` bytes to `out`; fewer only when the stream closes first.
    // Returns how many were appended.
    std::uint64_t ReadCount(std::string& out, std::uint64_t count, IoTimeout timeout);

    // Appends everything up to the close of the stream, at most `maxBytes` in `out`
    // altogether; throws HttpError when more arrives.
    void ReadToClose(std::string& out, std::size_t maxBytes, IoTimeout timeout);

    // Bytes read from the stream and not handed out yet.
    std::size_t Buffered() const { return end_ - begin_; }
    IByteStream& Stream() { return stream_; }

private:
    // Reads more into the buffer; false at the close of the stream.
    bool Fill(IoTimeout timeout);

    IByteStream& stream_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Reads status line and header lines, going on past "100 Continue" responses.
// `onHead` sees every head read (interim ones too) before the next one is read.
// A close of the stream ends the header lines; a close before any status line is an
// error. Throws HttpError when the heads together exceed the header limit.
HttpResponseHead ReadResponseHead(HttpReader& reader, const HttpLimits& limits, IoTimeout timeout,
                                  const std::function<void(const HttpResponseHead&)>& onHead);

// Reads the body of a response with the given head: exactly Content-Length bytes
// (fewer when the server closes early), chunked when Transfer-Encoding contains
// "chunked", to the close when there is no Content-Length, otherwise nothing.
// Throws HttpError beyond the body limit and for a chunked body cut short.
std::string ReadResponseBody(HttpReader& reader, const HttpResponseHead& head, const HttpLimits& limits,
                             IoTimeout timeout);

}  // namespace nuv
