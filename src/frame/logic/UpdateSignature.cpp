#include "frame/logic/UpdateSignature.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include "common/Guard.h"
#include "common/Text.h"
#include "frame/logic/UpdateRules.h"
#include "web/Downloader.h"

namespace nuv {
namespace {

constexpr std::size_t kSignatureSize = 64;
constexpr std::size_t kHashSize = 32;
// A manifest is four short lines; anything much larger is none.
constexpr std::size_t kManifestLimit = 4096;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict base64: groups of four, "=" only as the padding of the last group.
std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && text.size() > padding && text[text.size() - 1 - padding] == '=') ++padding;
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const int v = Base64Value(text[i]);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    if ((bits & ((1u << count) - 1)) != 0) return std::nullopt;  // stray bits in the last group
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of `text`, two hexadecimal digits each; none unless it is exactly `size` bytes.
std::optional<std::string> DecodeHex(std::string_view text, std::size_t size) {
    if (text.size() != 2 * size) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}

// The value of a manifest line "`key` VALUE"; none when the line is of another key.
std::optional<std::string_view> Field(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ') return std::nullopt;
    return line.substr(key.size() + 1);
}

// A file descriptor that is closed however the caller leaves.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// Opens `path` for reading when that name itself is a plain file: not a symbolic link, a
// pipe or a device. -1 otherwise, with errno telling why.
int OpenPlainFile(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// The content of the file behind `fd` from its start; none when it cannot be read or
// holds more than `limit` bytes.
std::optional<std::string> ReadFrom(int fd, std::size_t limit) {
    std::string bytes;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > limit) return std::nullopt;
        at += n;
    }
}

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// The SHA-256 of the whole file behind `fd`, read from its start.
std::optional<std::string> Sha256Of(int fd) {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::unique_ptr<char[]> buffer(new char[std::size_t{64} << 10]);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer.get(), std::size_t{64} << 10, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<std::size_t>(n)) != 1) return std::nullopt;
        at += n;
    }
    std::string hash(kHashSize, '\0');
    unsigned size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(hash.data()), &size) != 1 || size != kHashSize)
        return std::nullopt;
    return hash;
}

// Gives the open file `fd` the name `name` in the folder `dir` beside the names it has:
// through the descriptor itself, or through /proc where that needs a capability the
// process lacks. An older file of that name is replaced at once; that the name holds this
// very file afterwards is checked.
bool PlaceUnder(int fd, const struct stat& st, int dir, const std::string& name) {
    const std::string staging = std::string(kPartialDownloadPrefix) + "installing." + name;
    const auto link = [&] {
        if (::linkat(fd, "", dir, staging.c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno == EEXIST) return false;
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        return ::linkat(AT_FDCWD, proc.c_str(), dir, staging.c_str(), AT_SYMLINK_FOLLOW) == 0;
    };
    if (!link()) {
        // What an interrupted install left behind.
        if (errno != EEXIST || ::unlinkat(dir, staging.c_str(), 0) != 0 || !link()) return false;
    }
    if (::renameat(dir, staging.c_str(), dir, name.c_str()) != 0) {
        ::unlinkat(dir, staging.c_str(), 0);
        return false;
    }
    struct stat placed {};
    return ::fstatat(dir, name.c_str(), &placed, AT_SYMLINK_NOFOLLOW) == 0 && placed.st_dev == st.st_dev &&
           placed.st_ino == st.st_ino;
}

UpdaterVerdict Install(const std::string& downloadedPath, const std::string& signaturePath, const UpdateKey& key,
                       float announcedVersion, const std::string& updaterPath) {
    struct stat st {};
    const Fd file(OpenPlainFile(downloadedPath, st));
    if (!file) return errno == ENOENT ? UpdaterVerdict::Empty : UpdaterVerdict::NotInstalled;
    // A second name would let someone else change the file after its check.
    if (st.st_nlink != 1) return UpdaterVerdict::NotInstalled;
    if (st.st_size == 0) return UpdaterVerdict::Empty;

    struct stat signatureStat {};
    const Fd signatureFile(OpenPlainFile(signaturePath, signatureStat));
    const std::optional<std::string> text = signatureFile ? ReadFrom(signatureFile.get(), kManifestLimit) : std::nullopt;
    const std::optional<UpdateManifest> manifest = text ? ReadManifest(*text) : std::nullopt;
    if (!manifest) return UpdaterVerdict::NoSignature;
    if (!VerifySignature(manifest->signedPart, manifest->signature, key)) return UpdaterVerdict::BadSignature;
    if (Sha256Of(file.get()) != manifest->sha256) return UpdaterVerdict::BadSignature;
    if (manifest->version != announcedVersion || !IsNewerVersion(manifest->version)) return UpdaterVerdict::WrongVersion;

    if (::fchmod(file.get(), static_cast<mode_t>(UpdaterMode(st.st_mode))) != 0) return UpdaterVerdict::NotInstalled;
    const std::filesystem::path updater(updaterPath);
    const std::string folder = updater.parent_path().empty() ? std::string(".") : updater.parent_path().string();
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || !PlaceUnder(file.get(), st, dir.get(), updater.filename().string())) return UpdaterVerdict::NotInstalled;
    return UpdaterVerdict::Installed;
}

}  // namespace

std::string SignatureAddress(std::string_view downloadAddress) { return std::string(downloadAddress) + ".sig"; }

std::optional<UpdateManifest> ReadManifest(std::string_view file) {
    std::string_view rest = file;
    std::string_view lines[4];
    std::size_t signedEnd = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t end = rest.find('\n');
        if (end == std::string_view::npos && i < 3) return std::nullopt;
        if (end == std::string_view::npos) end = rest.size();
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines[i] = line;
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (i == 2) signedEnd = file.size() - rest.size();
    }
    if (lines[0] != ManifestHeader || !TrimView(rest).empty()) return std::nullopt;
    const std::optional<std::string_view> version = Field(lines[1], "version");
    const std::optional<std::string_view> sha256 = Field(lines[2], "sha256");
    const std::optional<std::string_view> signature = Field(lines[3], "signature");
    if (!version || !sha256 || !signature) return std::nullopt;
    UpdateManifest m;
    m.signedPart = std::string(file.substr(0, signedEnd));
    const std::optional<float> number = ReadVersionNumber(*version);
    std::optional<std::string> hash = DecodeHex(*sha256, kHashSize);
    std::optional<std::string> bytes = DecodeBase64(TrimView(*signature));
    if (!number || !hash || !bytes || bytes->size() != kSignatureSize) return std::nullopt;
    m.version = *number;
    m.sha256 = std::move(*hash);
    m.signature = std::move(*bytes);
    return m;
}

bool VerifySignature(std::string_view data, std::string_view signature, const UpdateKey& key) {
    if (signature.size() != kSignatureSize) return false;
    std::unique_ptr<EVP_PKEY, PkeyFree> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx) return false;
    // Ed25519 hashes the message itself: no digest is named, and the message goes in whole.
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                            reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

UpdaterVerdict InstallSignedUpdater(const std::string& downloadedPath, const std::string& signaturePath,
                                    const UpdateKey& key, float announcedVersion, const std::string& updaterPath) {
    UpdaterVerdict verdict = UpdaterVerdict::NotInstalled;
    try {
        verdict = Install(downloadedPath, signaturePath, key, announcedVersion, updaterPath);
    } catch (...) {
        NoteSwallowed();
        verdict = UpdaterVerdict::NotInstalled;
    }
    // An installed updater keeps only its new name.
    ::unlink(downloadedPath.c_str());
    ::unlink(signaturePath.c_str());
    return verdict;
}

}  // namespace nuv
