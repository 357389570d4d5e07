#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/socket.h>

// Which part of the network an address lies in, and whether a page may make the program
// connect there. A browser refuses a public page's requests to the private network and
// to the machine itself (Private Network Access); the program fetches outside the
// engine (downloads, style sheets, frame pages, movies), so it applies the same rule to
// the address it actually connects to, after name resolution and at every redirect.
namespace nuv {

// Ordered from the most open: a page may reach its own space and those before it.
enum class AddressSpace {
    Public = 0,
    Private = 1,  // 10/8, 172.16/12, 192.168/16, 100.64/10, 169.254/16, fc00::/7, fe80::/10
    Local = 2,    // loopback (127/8, ::1) and the unspecified addresses (0/8, ::)
};

// The space of an IPv4 or IPv6 socket address (an IPv4 address mapped into IPv6 counts as
// that IPv4 address); Public for anything else.
AddressSpace SpaceOfSocketAddress(const sockaddr* address);

// The space of a host written as a number ("127.0.0.1", "[::1]", "::ffff:10.0.0.1");
// nothing for a host name.
std::optional<AddressSpace> SpaceOfIpText(std::string_view host);

// The space of the page at `pageAddress`, whose requests the rule judges: Local for a
// page that is not on the web of its own choosing ("" when the request is the user's
// own, a local file); for a web page the space of its host: its number, "localhost"
// and the names under it Local, and any other name the most open space of the addresses
// it resolves to (resolved once a process and remembered; Public when it cannot be).
// Pages of other schemes (about:blank, data:) are Public.
AddressSpace SpaceOfPage(std::string_view pageAddress);

// The space a connection to `host` would reach, for a client that cannot judge the
// address it connects to itself: its number, or the most private of the addresses the
// name resolves to now (Public when it resolves to none).
AddressSpace SpaceOfTargetHost(std::string_view host);

// Whether a page of space `page` may connect to an address of space `target`.
constexpr bool MayReach(AddressSpace page, AddressSpace target) {
    return static_cast<int>(target) <= static_cast<int>(page);
}

// "refused: private network address ADDRESS for a page on the public network" (or "on a
// private network" for a private page that reached for the machine itself).
std::string PrivateNetworkRefusal(std::string_view address, AddressSpace page);

// The text of a socket address's number ("127.0.0.1", "::1"); "" for other families.
std::string SocketAddressText(const sockaddr* address);

}  // namespace nuv
