// Port: the platform's own crypto for the vendor's signed manifests, SHA-256 digests and
// ECDSA P-256 signatures over SHA-256 (libcrypto on Linux, BCrypt on Windows). No crypto of our
// own: the backends only call the platform.
//
// Formats, the same on every platform: a public key is the uncompressed point (65 bytes:
// 0x04, X, Y), a signature is r then s (64 bytes, big-endian), as tools/sign-manifest writes
// them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmend::crypto {

// SHA-256 of a file's bytes (32 bytes); nullopt when the file cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

// True only when `signature` is a valid ECDSA P-256 signature of SHA-256(`message`) made with
// the private key of `public_key`. Any malformed key or signature gives false.
bool VerifyP256Sha256(std::string_view public_key, std::string_view message,
                      std::string_view signature);

}  // namespace quillmend::crypto
