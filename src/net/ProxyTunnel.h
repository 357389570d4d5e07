#pragma once

#include <string>

#include "net/ByteStream.h"
#include "web/AddressSpace.h"
#include "web/ProxyChoice.h"

// The frame client's way through a proxy: a tunnel opened over the connection to it.
namespace nuv {

// Makes `stream`, connected to `proxy`, a tunnel to `host`:`port`: the SOCKS5 handshake
// (RFC 1928, with the user name and password of RFC 1929 when the proxy address has
// them) for socks5:// and socks5h://, an HTTP CONNECT for http://. socks5:// resolves
// the name here and sends the first address a page of space `reach` may reach; the
// others send the name, and only a host written as a number is judged (HttpRefusedError).
// Each read and write waits up to `timeout`. Throws HttpError when the proxy refuses.
void OpenProxyTunnel(IByteStream& stream, const ProxyServer& proxy, const std::string& host, int port,
                     AddressSpace reach, IoTimeout timeout);

// The value of a Proxy-Authorization header for `proxy` ("Basic ..."); "" without a user.
std::string ProxyAuthorization(const ProxyServer& proxy);

// Throws HttpRefusedError when `host` is written as a number that a page of space `reach`
// may not reach: what can be judged of a connection a proxy makes.
void JudgeProxiedHost(const std::string& host, AddressSpace reach);

}  // namespace nuv
