#include "frame/logic/UpdateSignature.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/evp.h>

#include "common/Guard.h"
#include "common/Text.h"
#include "frame/logic/UpdateRules.h"

namespace nuv {
namespace {

constexpr std::size_t kSignatureSize = 64;

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

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) return std::nullopt;
    return bytes;
}

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

std::string SignatureAddress(std::string_view downloadAddress) { return std::string(downloadAddress) + ".sig"; }

std::optional<std::string> ReadSignature(std::string_view file) {
    if (file.size() == kSignatureSize) return std::string(file);
    std::optional<std::string> decoded = DecodeBase64(TrimView(file));
    if (!decoded || decoded->size() != kSignatureSize) return std::nullopt;
    return decoded;
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
                                    const UpdateKey& key, const std::string& updaterPath) {
    UpdaterVerdict verdict = UpdaterVerdict::NotInstalled;
    try {
        const std::optional<std::string> data = ReadWholeFile(downloadedPath);
        const std::optional<std::string> file = ReadWholeFile(signaturePath);
        const std::optional<std::string> signature = file ? ReadSignature(*file) : std::nullopt;
        if (!data || data->empty()) {
            verdict = UpdaterVerdict::Empty;
        } else if (!signature) {
            verdict = UpdaterVerdict::NoSignature;
        } else if (!VerifySignature(*data, *signature, key)) {
            verdict = UpdaterVerdict::BadSignature;
        } else if (MakeExecutable(downloadedPath) && std::rename(downloadedPath.c_str(), updaterPath.c_str()) == 0) {
            verdict = UpdaterVerdict::Installed;
        }
    } catch (...) {
        NoteSwallowed();
        verdict = UpdaterVerdict::NotInstalled;
    }
    if (verdict != UpdaterVerdict::Installed) std::remove(downloadedPath.c_str());
    std::remove(signaturePath.c_str());
    return verdict;
}

}  // namespace nuv
