#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The updater is a program the user's machine runs, so it is taken only when the maker
// signed it: a detached Ed25519 signature beside it, checked against the maker's public
// key built into the program.
namespace nuv {

// An Ed25519 public key: its 32 raw bytes.
using UpdateKey = std::array<unsigned char, 32>;

// The maker's update key. Its private half never leaves the maker's release machine;
// packaging/update-signing.md says how a release is signed.
inline constexpr UpdateKey MakerUpdateKey = {
    0x75, 0x3b, 0xfa, 0x25, 0xc6, 0xfb, 0x21, 0x21, 0x1b, 0xe5, 0x44, 0xc7, 0x2f, 0xae, 0xb5, 0x10,
    0x81, 0x02, 0xb4, 0x91, 0x52, 0xbb, 0x5a, 0xe4, 0xa9, 0x11, 0x74, 0xaa, 0x50, 0x90, 0x1b, 0xc7};

// Where the signature of the updater at `downloadAddress` lies: that address + ".sig".
std::string SignatureAddress(std::string_view downloadAddress);

// The 64 signature bytes in the content of a signature file: exactly 64 raw bytes, or
// their base64 text (padding included) with blanks and line ends around it. None for
// anything else.
std::optional<std::string> ReadSignature(std::string_view file);

// True when `signature` is `key`'s Ed25519 signature of `data`. Thread-safe.
bool VerifySignature(std::string_view data, std::string_view signature, const UpdateKey& key);

enum class UpdaterVerdict {
    Installed,     // signed by the key; now executable under the updater's name
    Empty,         // the download is empty
    NoSignature,   // no signature file, or one that holds no signature
    BadSignature,  // the signature does not fit: another key, or the file is cut short or altered
    NotInstalled,  // genuine, but it could not be made executable or renamed
};

// Takes the downloaded updater at `downloadedPath` when the signature file at
// `signaturePath` proves it is `key`'s: makes it executable and renames it over
// `updaterPath` (in the same folder). In every other case the file at `updaterPath` is
// left as it was. The downloaded file and the signature file are gone afterwards,
// except the one that became the updater. Never throws.
UpdaterVerdict InstallSignedUpdater(const std::string& downloadedPath, const std::string& signaturePath,
                                    const UpdateKey& key, const std::string& updaterPath);

}  // namespace nuv
