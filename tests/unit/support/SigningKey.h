#pragma once

#include <string>
#include <string_view>

#include "frame/logic/UpdateSignature.h"

struct evp_pkey_st;

namespace nuv::test {

// An Ed25519 key pair made for one test, in the maker's place: it signs the manifests of
// updaters the program under test is told to trust.
class SigningKey {
public:
    SigningKey();
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    UpdateKey PublicKey() const;
    // The 64 raw bytes of the signature of `data`.
    std::string Sign(std::string_view data) const;
    // The signed manifest of the updater `file` for `version` ("2.3"), as the maker serves
    // it beside the updater.
    std::string SignedManifest(std::string_view file, std::string_view version) const;

private:
    evp_pkey_st* key_ = nullptr;
};

// `bytes` as base64 text.
std::string Base64(std::string_view bytes);
// The SHA-256 of `bytes` in 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
// The manifest's signed lines for `version` and the hash `sha256Hex`, line feeds included.
std::string ManifestLines(std::string_view version, std::string_view sha256Hex);

}  // namespace nuv::test
