// Release signatures: Ed25519 keys, signatures and SHA-256 digests, all computed by
// libgcrypt, plus the text encodings that carry them in INI files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

/// Sizes of the raw values, in bytes.
inline constexpr size_t kEd25519KeySize = 32;
inline constexpr size_t kEd25519SignatureSize = 64;

/// One Ed25519 key pair, raw bytes: `secret` is the 32-byte seed.
struct TReleaseKeyPair {
  std::string public_key;
  std::string secret;
};

/// A fresh key pair from the library's strong random source; nothing when the
/// library cannot make one.
std::optional<TReleaseKeyPair> GenerateReleaseKeyPair();

/// The 64-byte Ed25519 signature of `message`; nothing when the key pair is unusable.
std::optional<std::string> SignMessage(std::string_view message, const TReleaseKeyPair& keys);

/// True only for a canonical Ed25519 signature of `message` by `public_key`: an S
/// value at or above the group order is refused, so no second form of a valid
/// signature verifies.
bool VerifySignature(std::string_view message, std::string_view signature, std::string_view public_key);

/// The SHA-256 digest of `data`, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view data);

/// The short name of a raw public key that a signed list and an error message can
/// show: the first 16 hexadecimal digits of the key's SHA-256.
std::string ReleaseKeyId(std::string_view public_key);

/// The SHA-256 digest of the file's content, read piece by piece; nothing when the
/// file cannot be read.
std::optional<std::string> FileSha256Hex(const std::string& path);

/// Standard base64 with padding.
std::string EncodeBase64(std::string_view data);
/// Strict inverse of EncodeBase64: nothing for any other text.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace kestrova
