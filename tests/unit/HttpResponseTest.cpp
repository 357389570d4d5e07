#include "net/HttpResponse.h"

#include <string>

#include <gtest/gtest.h>

#include "net/HttpError.h"

namespace nuv {
namespace {

using namespace std::string_literals;

// Reads head and body of `reply` through a memory stream that hands out at most
// `chunk` bytes per read, so every split of the input is exercised.
std::string ReadBodyOf(const std::string& reply, std::size_t chunk, const HttpLimits& limits = {}) {
    MemoryStream stream(reply, chunk);
    HttpReader reader(stream);
    const HttpResponseHead head = ReadResponseHead(reader, limits, IoTimeout(0), nullptr);
    return ReadResponseBody(reader, head, limits, IoTimeout(0));
}

struct BodyCase {
    const char* name;
    std::string reply;
    std::string body;
};

TEST(HttpResponseBody, EveryModeGivesTheBodyByteForByteWhateverTheReadSizes) {
    const BodyCase cases[] = {
        {"content-length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", "hello"},
        {"content-length-early-close", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", "short"},
        {"content-length-binary", "HTTP/1.1 200 OK\r\ncontent-length:  4 \r\n\r\n\0\r\n\xff"s, "\0\r\n\xff"s},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
         "Wikipedia"},
        {"chunked-hex-and-blank", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA junk\r\n0123456789\r\n0\r\n\r\n",
         "0123456789"},
        {"chunk-extension-ends", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5;ext=1\r\npedia\r\n0\r\n\r\n",
         "Wiki"},
        {"chunked-missing-final-line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n", "abc"},
        {"chunked-is-case-sensitive", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc", "3\r\nabc"},
        {"length-wins-over-chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n3\r\nabc",
         "3\r\n"},
        {"read-to-close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nuntil\r\nthe end", "until\r\nthe end"},
        {"length-not-a-number-reads-to-close", "HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\nall of it", "all of it"},
        {"length-zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nignored", ""},
        {"length-negative", "HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\nignored", ""},
        {"lf-only-lines", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok"},
        {"headers-end-at-close", "HTTP/1.1 200 OK\r\nX: y", ""},
    };
    for (const BodyCase& c : cases) {
        for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u, 1u << 20}) {
            EXPECT_EQ(ReadBodyOf(c.reply, chunk), c.body) << c.name << " chunk " << chunk;
        }
    }
}

TEST(HttpResponseBody, ACutChunkedBodyIsAnError) {
    for (const char* reply : {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nhalf",
                              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nfull"}) {
        EXPECT_THROW(ReadBodyOf(reply, 5), HttpError) << reply;
    }
}

TEST(HttpResponseBody, SizeLimitCountsWhatArrivesNotWhatIsDeclared) {
    HttpLimits limits;
    limits.maxBodyBytes = 8;
    EXPECT_EQ(ReadBodyOf("HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n12345678", 3, limits), "12345678");
    EXPECT_THROW(ReadBodyOf("HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n123456789", 3, limits), HttpError);
    EXPECT_EQ(ReadBodyOf("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n12345678", 3, limits), "12345678");
    EXPECT_EQ(ReadBodyOf("HTTP/1.1 200 OK\r\n\r\n12345678", 3, limits), "12345678");
    EXPECT_THROW(ReadBodyOf("HTTP/1.1 200 OK\r\n\r\n123456789", 3, limits), HttpError);
    EXPECT_THROW(ReadBodyOf("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\nab", 3, limits),
                 HttpError);
    EXPECT_THROW(ReadBodyOf("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n12345\r\n4\r\n1234\r\n0\r\n\r\n", 3,
                            limits),
                 HttpError);
    // More than sixteen hex digits is not a number: size 0, the body ends.
    EXPECT_EQ(ReadBodyOf("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\nab", 3, limits), "");
}

TEST(HttpResponseHead, StatusCodeIsTheSecondWordOrMinusOne) {
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 200 OK"), 200);
    EXPECT_EQ(ParseStatusCode("HTTP/1.0 404 Not Found"), 404);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1  301   Moved"), 301);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 204"), 204);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 2OO OK"), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1"), -1);
    EXPECT_EQ(ParseStatusCode(""), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 99999999999 Big"), -1);
    EXPECT_EQ(ParseStatusCode("\x01\xff garbage"), -1);
}

TEST(HttpResponseHead, InterimContinueResponsesAreSkippedAfterTheirCookiesAreSeen) {
    MemoryStream stream(
        "HTTP/1.1 100 Continue\r\nSet-Cookie: early=1\r\n\r\n"
        "HTTP/1.1 100 Continue\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Multi: a\r\nx-multi: b\r\n\r\nhi",
        4);
    HttpReader reader(stream);
    std::vector<std::string> seen;
    const HttpResponseHead head = ReadResponseHead(reader, HttpLimits(), IoTimeout(0),
                                                   [&](const HttpResponseHead& h) { seen.push_back(h.statusLine); });
    EXPECT_EQ(seen, (std::vector<std::string>{"HTTP/1.1 100 Continue", "HTTP/1.1 100 Continue", "HTTP/1.1 200 OK"}));
    EXPECT_EQ(head.statusCode, 200);
    EXPECT_EQ(head.headerLines, (std::vector<std::string>{"Content-Length: 2", "X-Multi: a", "x-multi: b"}));
    EXPECT_EQ(head.Value("X-MULTI"), "a");
    EXPECT_FALSE(head.Find("Location").has_value());
    EXPECT_EQ(ReadResponseBody(reader, head, HttpLimits(), IoTimeout(0)), "hi");
}

TEST(HttpResponseHead, NothingAtAllIsAnError) {
    MemoryStream stream("");
    HttpReader reader(stream);
    EXPECT_THROW(ReadResponseHead(reader, HttpLimits(), IoTimeout(0), nullptr), HttpError);
}

TEST(HttpResponseHead, LinesUpTo16384BytesPassAndLongerOnesFail) {
    const std::string ok(16384, 'a');
    for (const std::string& ending : {std::string("\r\n"), std::string("\n")}) {
        MemoryStream stream("HTTP/1.1 200 OK\r\nX: " + ok.substr(3) + ending + "\r\n", 1000);
        HttpReader reader(stream);
        EXPECT_EQ(ReadResponseHead(reader, HttpLimits(), IoTimeout(0), nullptr).headerLines[0].size(), 16384u);
    }
    for (const std::string& tail : {std::string("\r\n\r\n"), std::string(""), std::string(100000, 'b')}) {
        MemoryStream stream("HTTP/1.1 200 OK\r\nX: " + ok.substr(2) + tail, 1000);
        HttpReader reader(stream);
        try {
            ReadResponseHead(reader, HttpLimits(), IoTimeout(0), nullptr);
            FAIL() << "a line of 16385 bytes was accepted";
        } catch (const HttpError& e) {
            EXPECT_STREQ(e.what(), "Max line length exceeded.");
        }
        EXPECT_LE(reader.Buffered(), HttpReader::kBufferSize);
    }
}

TEST(HttpResponseHead, TheWholeHeadIsBounded) {
    HttpLimits limits;
    limits.maxHeaderBytes = 4096;
    std::string reply = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 1000; ++i) reply += "X-Endless: header line\r\n";
    MemoryStream stream(reply);
    HttpReader reader(stream);
    EXPECT_THROW(ReadResponseHead(reader, limits, IoTimeout(0), nullptr), HttpError);
    // Interim responses count towards the same limit.
    std::string continues;
    for (int i = 0; i < 1000; ++i) continues += "HTTP/1.1 100 Continue\r\n\r\n";
    MemoryStream stream2(continues);
    HttpReader reader2(stream2);
    EXPECT_THROW(ReadResponseHead(reader2, limits, IoTimeout(0), nullptr), HttpError);
}

}  // namespace
}  // namespace nuv
