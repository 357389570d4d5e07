#pragma once

#include <string>
#include <string_view>

#include "frame/logic/UpdateSignature.h"

struct evp_pkey_st;

namespace nuv::test {

// An Ed25519 key pair made for one test, in the maker's place: it signs updaters the
// program under test is told to trust.
class SigningKey {
public:
    SigningKey();
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    UpdateKey PublicKey() const;
    // The 64 raw bytes of the signature of `data`.
    std::string Sign(std::string_view data) const;

private:
    evp_pkey_st* key_ = nullptr;
};

// `bytes` as base64 text.
std::string Base64(std::string_view bytes);

}  // namespace nuv::test
