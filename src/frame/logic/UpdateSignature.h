#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The updater is a program the user's machine runs, so it is taken only when the maker
// signed it: beside it lies a small manifest that names its version and its SHA-256,
// signed with Ed25519 and checked against the maker's public key built into the program.
// Signing the manifest rather than the bare file ties the updater to the version the
// update page announces, so an older signed updater served again is refused.
namespace nuv {

// An Ed25519 public key: its 32 raw bytes.
using UpdateKey = std::array<unsigned char, 32>;

// The maker's update key. Its private half never leaves the maker's release machine;
// packaging/update-signing.md says how a release is signed.
inline constexpr UpdateKey MakerUpdateKey = {
    0x75, 0x3b, 0xfa, 0x25, 0xc6, 0xfb, 0x21, 0x21, 0x1b, 0xe5, 0x44, 0xc7, 0x2f, 0xae, 0xb5, 0x10,
    0x81, 0x02, 0xb4, 0x91, 0x52, 0xbb, 0x5a, 0xe4, 0xa9, 0x11, 0x74, 0xaa, 0x50, 0x90, 0x1b, 0xc7};

// Where the signed manifest of the updater at `downloadAddress` lies: that address + ".sig".
std::string SignatureAddress(std::string_view downloadAddress);

// The first line of every manifest.
inline constexpr std::string_view ManifestHeader = "nuv-update-manifest 1";

// A signed manifest, a text of four lines, each ended by a line feed (CR LF is taken too):
//   nuv-update-manifest 1
//   version 2.3
//   sha256 <the updater's SHA-256 in 64 hexadecimal digits>
//   signature <the Ed25519 signature of the three lines above, line ends included: 64
//              raw bytes as base64 text>
struct UpdateManifest {
    std::string signedPart;  // the bytes the signature covers: the first three lines
    float version = 0.0f;
    std::string sha256;     // 32 raw bytes
    std::string signature;  // 64 raw bytes
};

// The manifest in the content of a signature file. None when it is not one: a line
// missing, out of order, of another form or added, a version that is no number.
std::optional<UpdateManifest> ReadManifest(std::string_view file);

// True when `signature` is `key`'s Ed25519 signature of `data`. Thread-safe.
bool VerifySignature(std::string_view data, std::string_view signature, const UpdateKey& key);

enum class UpdaterVerdict {
    Installed,     // signed by the key; now executable under the updater's name
    Empty,         // the download is empty
    NoSignature,   // no manifest, or a file that holds none
    BadSignature,  // the signature does not fit: another key, or the file is cut short or altered
    WrongVersion,  // genuine, but of another version than the update page announced
    NotInstalled,  // not a file of its own, or it could not be made executable or renamed
};

// Takes the downloaded updater at `downloadedPath` when the manifest at `signaturePath`
// is signed by `key`, names `announcedVersion` (the update page's, newer than the running
// program) and the SHA-256 of the file: makes it executable and puts it under the name
// `updaterPath` (in the same folder). The file is opened once, not through a link and
// only when it is a plain file with no other name, and everything after that (its size,
// its hash, its permissions, the new name) acts on that open file, so a file put in its
// place meanwhile is never the one installed. In every other case the file at
// `updaterPath` is left as it was. The downloaded file and the manifest are gone
// afterwards. Never throws.
UpdaterVerdict InstallSignedUpdater(const std::string& downloadedPath, const std::string& signaturePath,
                                    const UpdateKey& key, float announcedVersion, const std::string& updaterPath);

}  // namespace nuv
