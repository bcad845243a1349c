// The publisher's key file: the Ed25519 key pair that signs releases.
#pragma once

#include <optional>
#include <string>

#include "release/release_signature.h"

namespace kestrova {

/// The line the updaters' configuration needs under [server] to trust `public_key`.
std::string PublicKeyLine(const std::string& public_key);

/// Writes `keys` into a new file only its owner can read; false when the file exists
/// or cannot be written.
bool WriteKeyFile(const std::string& path, const TReleaseKeyPair& keys);

/// The key pair stored at `path`; nothing when the file is unreadable or not a key
/// file whose halves belong together.
std::optional<TReleaseKeyPair> ReadKeyFile(const std::string& path);

}  // namespace kestrova
