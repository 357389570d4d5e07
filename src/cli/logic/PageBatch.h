#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/logic/ExtractCli.h"

// Which pages a nuv-extract run opens: the addresses of its arguments and of its list,
// the shard it takes, and how each address is completed. Plain C++.
namespace nuv {

// The addresses of a list file: one a line, each trimmed; blank lines and lines whose
// first non-blank character is "#" are skipped. Line ends may be "\n" or "\r\n". A list
// is data: a line longer than kMaxListLine bytes or one that holds a NUL byte makes the
// whole list unusable, and `error` then names the line (the result is empty).
std::vector<std::string> ParseAddressList(std::string_view text, std::string* error = nullptr);
inline constexpr std::size_t kMaxListLine = std::size_t{64} << 10;

// Why a line of a list is not opened, "" when it is: a list names web pages (http or
// https, or a host that is completed to http), never a local file (a "file:" address or
// a path) unless `allowLocalFiles`, and nothing of another scheme.
std::string ListedAddressRefusal(std::string_view address, bool allowLocalFiles);

// The part (1..count) of a shard split that `address` falls into: the 64-bit FNV-1a hash
// of the trimmed text, modulo `count`, plus one. The same on every machine.
int ShardOfAddress(std::string_view address, int count);

// The pages of a run: the ADDRESS arguments, then the addresses of the list, each
// trimmed and taken once, in that order; with a shard only those of its part.
std::vector<std::string> RunAddresses(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& listed,
                                      const std::optional<CliShard>& shard);

// How the address argument is opened.
struct CliAddress {
    std::string address;     // what the browser is given (a local path when localFile)
    bool localFile = false;  // `address` is an absolute local path
};

// Completes the address argument as the address box does. Beyond the box's rule a
// relative local path also opens as a file: a text that begins with "./" or "../" (or is
// "." or ".."), or that has no ":" and names an existing file relative to
// `currentFolder` (as `isFile` answers), is joined to `currentFolder` (absolute, without
// a trailing "/"). Only "."-segments and ".."-segments of such a path are resolved.
CliAddress PrepareCliAddress(std::string_view argument, const std::string& currentFolder,
                             const std::function<bool(const std::string& path)>& isFile);

// How a page of a run opens: its address completed by PrepareCliAddress, or why it is not
// opened. A line of the list (`listed`) is data: it opens a web page, never a local file
// unless `allowLocalFiles` (ListedAddressRefusal), and only then may it name an existing
// relative file (`isFile`); an address given on the command line is the user's own.
struct RunAddress {
    CliAddress where;
    std::string refusal;  // "" when it opens
};
RunAddress OpenRunAddress(std::string_view address, bool listed, bool allowLocalFiles, const std::string& currentFolder,
                          const std::function<bool(const std::string& path)>& isFile);

}  // namespace nuv
