#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "web/Downloader.h"

// What the program sends and reaches when it fetches on its own behalf (downloads, style
// sheets, frame pages): the same as a browser would for the subresources of the page
// being extracted, and nothing beyond the web. Every fetcher asks these rules.
namespace nuv {

// The scheme of an address, lower-cased ("http", "gopher"), or "" when the text does not
// begin with one (letters, digits, "+", "-", "." before a ":", the first a letter).
std::string AddressScheme(std::string_view address);

// True for an address of a page opened from a local file: a "file:" address or a path.
bool IsLocalPageAddress(std::string_view pageAddress);

// Whether `address` may be fetched for the page at `pageAddress`: http and https always
// (an address without a scheme counts as http, as the fetchers complete it); "file:"
// only when the page itself is a local file; nothing else (gopher, dict, ftp, ldap,
// smb, telnet, ...). Redirects are checked with an empty page: they never reach a file.
bool MayFetch(std::string_view address, std::string_view pageAddress);

// The English text of a refusal by MayFetch.
std::string RefusalText(std::string_view address);

// The Referer of a request for `target` made for the page at `pageAddress`, as
// browsers send it by default (strict-origin-when-cross-origin): the page address
// without its fragment and credentials to the page's own origin, "scheme://host[:port]/"
// to other origins, nothing from https to http, nothing from a page that is not on the
// web (a local file, a blank page).
std::string RefererFor(std::string_view pageAddress, std::string_view target);

// The host of an address, lower-cased, without credentials, port and IPv6 brackets;
// "" when the address has no "scheme://host".
std::string AddressHost(std::string_view address);

// The site of a host: its registrable domain by the public suffix list ("a.b.example.co.uk"
// gives "example.co.uk"); the host itself, lower-cased, when it has none (an IP address,
// a single label, a public suffix).
std::string SiteOfHost(std::string_view host);

// True when `domain` (a leading "." ignored) is a public suffix listed as such ("com",
// "co.uk", "github.io"); names under unlisted top-level domains are not.
bool IsPublicSuffix(std::string_view domain);

// The browser cookies that may go with the requests made for the page at `pageAddress`,
// as Netscape cookie-file lines: a cookie with SameSite Lax or Strict, or without
// SameSite (browsers treat it as Lax), only when its domain belongs to the page's site;
// a SameSite=None cookie to any host, but only over https (its line is marked secure).
std::vector<std::string> CookieLinesForPage(const std::vector<CookieLine>& cookies,
                                            std::string_view pageAddress);

}  // namespace nuv
