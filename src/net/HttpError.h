#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace nuv {

// Every failure of an HTTP fetch: name lookup, connection, socket, TLS, protocol
// violations, limits. The message says what went wrong.
class HttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A read or write that made no progress within its limit.
class HttpTimeoutError : public HttpError {
public:
    using HttpError::HttpError;
};

// A connection that broke, or that the server closed before its answer was whole: the
// request may pass when it is made again.
class HttpBrokenError : public HttpError {
public:
    using HttpError::HttpError;
};

// An address the client never fetches (a scheme other than http and https); nothing
// was sent.
class HttpRefusedError : public HttpError {
public:
    using HttpError::HttpError;
};

// A complete response whose status refuses the request (a status other than 2xx, or
// a redirect, which is never followed). The message is the status line.
class HttpProtocolError : public HttpError {
public:
    HttpProtocolError(int statusCode, std::string statusLine, std::string body)
        : HttpError(statusLine), statusCode_(statusCode), statusLine_(std::move(statusLine)),
          body_(std::move(body)) {}

    int StatusCode() const { return statusCode_; }
    const std::string& StatusLine() const { return statusLine_; }
    // The body that came with the refusal, read with the short failure limit.
    const std::string& Body() const { return body_; }

private:
    int statusCode_;
    std::string statusLine_;
    std::string body_;
};

}  // namespace nuv
