#include "support/SigningKey.h"

#include <stdexcept>

#include <openssl/evp.h>

namespace nuv::test {

SigningKey::SigningKey() {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    if (!ctx || EVP_PKEY_keygen_init(ctx) != 1 || EVP_PKEY_keygen(ctx, &key_) != 1) {
        EVP_PKEY_CTX_free(ctx);
        throw std::runtime_error("no Ed25519 key");
    }
    EVP_PKEY_CTX_free(ctx);
}

SigningKey::~SigningKey() { EVP_PKEY_free(key_); }

UpdateKey SigningKey::PublicKey() const {
    UpdateKey raw{};
    size_t size = raw.size();
    EVP_PKEY_get_raw_public_key(key_, raw.data(), &size);
    return raw;
}

std::string SigningKey::Sign(std::string_view data) const {
    std::string signature(64, '\0');
    size_t size = signature.size();
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool ok = EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_) == 1 &&
                    EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &size,
                                   reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok || size != 64) throw std::runtime_error("cannot sign");
    return signature;
}

std::string SigningKey::SignedManifest(std::string_view file, std::string_view version) const {
    const std::string lines = ManifestLines(version, Sha256Hex(file));
    return lines + "signature " + Base64(Sign(lines)) + "\n";
}

std::string Base64(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(n));
    return text;
}

std::string Sha256Hex(std::string_view bytes) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), hash, &size, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("no SHA-256");
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex.push_back(digits[hash[i] >> 4]);
        hex.push_back(digits[hash[i] & 15]);
    }
    return hex;
}

std::string ManifestLines(std::string_view version, std::string_view sha256Hex) {
    return std::string(ManifestHeader) + "\nversion " + std::string(version) + "\nsha256 " + std::string(sha256Hex) + "\n";
}

}  // namespace nuv::test
