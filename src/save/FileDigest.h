#pragma once

#include <string>

// Digests of saved files.
namespace nuv {

// The SHA-256 of the file's bytes in lower-case hex; "" when the file cannot be read.
std::string Sha256OfFile(const std::string& path);

}  // namespace nuv
