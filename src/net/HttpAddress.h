#pragma once

#include <string>
#include <string_view>

namespace nuv {

// An absolute address taken apart the way the client needs it.
struct HttpAddress {
    std::string scheme;    // lower-cased; "http" when the address gave none
    std::string userName;  // never sent
    std::string password;  // never sent; dropped when there is no user name
    std::string host;      // as written (an IPv6 literal without its brackets)
    int port = 0;          // the given port, else 80 for http and 443 for https
    bool portGiven = false;
    std::string path;      // from the first "/" to the last "/" of the directory part
    std::string document;  // between path and query
    std::string query;     // from the first "?" on, or empty

    // What follows the method in the request line: path + document + query.
    std::string RequestTarget() const;
    // The value of the Host header: the host alone on the scheme's usual port
    // (80, or 443 for https), else host ":" port.
    std::string HostValue() const;
    bool IsHttps() const { return scheme == "https"; }
};

// Splits an absolute address. The fragment is cut off; bytes of value 32 or less,
// 127 and 128 or more in the request target are percent-encoded so the request line
// cannot be broken and carries an address a server accepts. Throws HttpError for an unsupported scheme, a missing or unusable host,
// or a bad port.
HttpAddress SplitHttpAddress(std::string_view address);

}  // namespace nuv
