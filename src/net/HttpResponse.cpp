#include "net/HttpResponse.h"

#include <algorithm>
#include <cstring>

#include "common/Text.h"
#include "net/HttpError.h"

namespace nuv {
namespace {

std::string_view HeaderName(std::string_view line) { return TrimView(line.substr(0, line.find(':'))); }

bool SameNameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAsciiChar(x) == LowerAsciiChar(y); });
}

// A decimal Content-Length; none when it is not a number (it then counts as absent).
std::optional<std::int64_t> ParseContentLength(const std::string& text) {
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 18) return std::nullopt;
    std::int64_t n = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return negative ? -n : n;
}

// The size of a chunk: the line up to its first blank as a hexadecimal number, 0 when
// that is not a number (a size followed by ";" extensions included).
std::uint64_t ParseChunkSize(std::string_view line) {
    const std::string_view text = line.substr(0, line.find(' '));
    if (text.empty() || text.size() > 16) return 0;
    std::uint64_t n = 0;
    for (const char c : text) {
        const char l = LowerAsciiChar(c);
        int digit;
        if (l >= '0' && l <= '9') digit = l - '0';
        else if (l >= 'a' && l <= 'f') digit = l - 'a' + 10;
        else return 0;
        n = n * 16 + static_cast<std::uint64_t>(digit);
    }
    return n;
}

[[noreturn]] void ThrowClosed() { throw HttpBrokenError("Connection closed gracefully."); }
[[noreturn]] void ThrowBodyTooLarge() { throw HttpError("Response body exceeds the size limit"); }

}  // namespace

std::optional<std::string> HttpResponseHead::Find(std::string_view name) const {
    for (const std::string& line : headerLines) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (SameNameNoCase(HeaderName(line), name)) return Trim(std::string_view(line).substr(colon + 1));
    }
    return std::nullopt;
}

std::string HttpResponseHead::Value(std::string_view name) const { return Find(name).value_or(std::string()); }

int ParseStatusCode(std::string_view statusLine) {
    size_t i = 0;
    while (i < statusLine.size() && statusLine[i] == ' ') ++i;
    while (i < statusLine.size() && statusLine[i] != ' ') ++i;
    while (i < statusLine.size() && statusLine[i] == ' ') ++i;
    size_t j = i;
    while (j < statusLine.size() && statusLine[j] != ' ') ++j;
    const std::string_view word = statusLine.substr(i, j - i);
    if (word.empty() || word.size() > 9) return -1;
    int code = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') return -1;
        code = code * 10 + (c - '0');
    }
    return code;
}

HttpReader::HttpReader(IByteStream& stream) : stream_(stream), buffer_(kBufferSize) {}

bool HttpReader::Fill(IoTimeout timeout) {
    if (begin_ == end_) begin_ = end_ = 0;
    if (end_ == buffer_.size()) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    const std::size_t n = stream_.ReadSome(buffer_.data() + end_, buffer_.size() - end_, timeout);
    end_ += n;
    return n > 0;
}

std::optional<std::string> HttpReader::ReadLine(std::size_t maxLength, IoTimeout timeout) {
    std::string line;
    while (true) {
        const char* start = buffer_.data() + begin_;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
        const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - start) : end_ - begin_;
        line.append(start, take);
        begin_ += take;
        if (lf != nullptr) {
            ++begin_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > maxLength) throw HttpError("Max line length exceeded.");
            return line;
        }
        // One byte of slack for a CR that may stand before the LF.
        if (line.size() > maxLength + 1) throw HttpError("Max line length exceeded.");
        if (!Fill(timeout)) {
            if (line.empty()) return std::nullopt;
            if (line.size() > maxLength) throw HttpError("Max line length exceeded.");
            return line;
        }
    }
}

std::uint64_t HttpReader::ReadCount(std::string& out, std::uint64_t count, IoTimeout timeout) {
    std::uint64_t got = 0;
    while (got < count) {
        if (begin_ == end_ && !Fill(timeout)) break;
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - begin_, count - got));
        out.append(buffer_.data() + begin_, take);
        begin_ += take;
        got += take;
    }
    return got;
}

void HttpReader::ReadToClose(std::string& out, std::size_t maxBytes, IoTimeout timeout) {
    while (true) {
        if (begin_ == end_ && !Fill(timeout)) return;
        if (out.size() + (end_ - begin_) > maxBytes) ThrowBodyTooLarge();
        out.append(buffer_.data() + begin_, end_ - begin_);
        begin_ = end_;
    }
}

HttpResponseHead ReadResponseHead(HttpReader& reader, const HttpLimits& limits, IoTimeout timeout,
                                  const std::function<void(const HttpResponseHead&)>& onHead) {
    std::size_t headBytes = 0;
    const auto charge = [&](const std::string& line) {
        headBytes += line.size() + 2;
        if (headBytes > limits.maxHeaderBytes) throw HttpError("Response header section exceeds the size limit");
    };
    HttpResponseHead head;
    while (true) {
        std::optional<std::string> status = reader.ReadLine(limits.maxLineLength, timeout);
        if (!status) ThrowClosed();
        charge(*status);
        head.statusLine = std::move(*status);
        head.statusCode = ParseStatusCode(head.statusLine);
        head.headerLines.clear();
        while (std::optional<std::string> line = reader.ReadLine(limits.maxLineLength, timeout)) {
            if (line->empty()) break;
            charge(*line);
            head.headerLines.push_back(std::move(*line));
        }
        if (onHead) onHead(head);
        if (head.statusCode != 100) return head;
    }
}

std::string ReadResponseBody(HttpReader& reader, const HttpResponseHead& head, const HttpLimits& limits,
                             IoTimeout timeout) {
    std::string body;
    const std::optional<std::string> lengthText = head.Find("Content-Length");
    const std::optional<std::int64_t> length = lengthText ? ParseContentLength(*lengthText) : std::nullopt;
    if (length && *length >= 1) {
        // Only what arrives decides: a declared length beyond the limit is read up to
        // the limit and fails when one more byte comes.
        const auto wanted = static_cast<std::uint64_t>(*length);
        const std::uint64_t cap = std::min<std::uint64_t>(wanted, limits.maxBodyBytes + std::uint64_t{1});
        body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(cap, limits.maxBodyBytes)));
        reader.ReadCount(body, cap, timeout);
        if (body.size() > limits.maxBodyBytes) ThrowBodyTooLarge();
        return body;
    }
    if (Contains(head.Value("Transfer-Encoding"), "chunked")) {
        while (true) {
            const std::optional<std::string> sizeLine = reader.ReadLine(limits.maxLineLength, timeout);
            if (!sizeLine) ThrowClosed();
            const std::uint64_t size = ParseChunkSize(*sizeLine);
            if (size == 0) break;
            if (size > limits.maxBodyBytes - body.size()) ThrowBodyTooLarge();
            if (reader.ReadCount(body, size, timeout) < size) ThrowClosed();
            if (!reader.ReadLine(limits.maxLineLength, timeout)) ThrowClosed();
        }
        reader.ReadLine(limits.maxLineLength, timeout);  // the empty line that ends the message
        return body;
    }
    if (!length) reader.ReadToClose(body, limits.maxBodyBytes, timeout);
    return body;
}

}  // namespace nuv
