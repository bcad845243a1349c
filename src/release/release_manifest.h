// The release manifest: one small text, signed by a threshold of the publisher's keys,
// that says which release is current, until when that statement holds, and the digest
// of every description and action list the release publishes. The updater believes
// nothing else the server says unless the manifest vouches for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/release_signature.h"

namespace kestrova {

/// The manifest's file name beside the release in the publishing folder.
inline constexpr char kManifestFileName[] = "manifest.ini";

/// How far this computer's clock may be behind the publisher's: a manifest signed
/// later than now plus this is refused, as one from the future.
inline constexpr int64_t kManifestClockSkewSeconds = 10 * 60;

/// A published text the manifest vouches for: where it lies below the application's
/// folder, its SHA-256 in hexadecimal and its size in bytes.
struct TManifestEntry {
  std::string path;
  std::string sha256;
  int64_t size = 0;
};

/// What a manifest states. Times are seconds since 1970-01-01 UTC.
struct TReleaseManifest {
  std::string name;
  std::string version;
  std::string date;
  uint64_t sequence = 0;
  int64_t signed_at = 0;
  int64_t expires = 0;
  TManifestEntry description;
  std::vector<TManifestEntry> action_lists;
  /// The key set that takes over (raw public keys) and its threshold; none: unchanged.
  std::vector<std::string> next_keys;
  int32_t next_threshold = 0;
};

/// Public keys (raw bytes, no two alike) and how many of them must sign.
struct TKeySet {
  std::vector<std::string> keys;
  int32_t threshold = 1;
};

/// The configured keys: base64 Ed25519 public keys separated by "," (one key is the
/// plain release_public_key of before), and the threshold. `fault` says why they
/// cannot be used: a key that is no key, a threshold below 1 or above the keys.
struct TKeySetReading {
  TKeySet key_set;
  std::string fault;
};
TKeySetReading ReadKeySet(std::string_view configured, int32_t threshold);

/// The short name of a key set, for the state kept per key set and for messages.
std::string KeySetId(const TKeySet& key_set);

/// "2026-12-17T13:40:00Z" and back; nothing for any other form.
std::string UtcTimeText(int64_t seconds);
std::optional<int64_t> ReadUtcTime(std::string_view text);

/// The manifest's unsigned text, and that text with one signature line per key.
std::string ManifestText(const TReleaseManifest& manifest);
std::optional<std::string> SignManifest(const std::string& body,
                                        const std::vector<TReleaseKeyPair>& keys);

/// The statements of a manifest text, signatures not looked at (for the publisher
/// who signs it again); `fault` says what is malformed.
std::optional<TReleaseManifest> ReadManifestBody(std::string_view text, std::string& fault);

/// How many distinct keys of `key_set` signed `text` validly, or nothing when the
/// text has no well-formed signature section.
std::optional<size_t> CountValidSignatures(std::string_view text, const TKeySet& key_set);

/// What the updater remembers per application and configured key set: the highest
/// sequence it accepted and the key set a manifest handed over.
struct TManifestState {
  uint64_t sequence = 0;
  TKeySet rotated;  // no keys: the configured set still holds
};
std::string ManifestStateText(const std::string& key_set_id, const TManifestState& state);
/// The state kept for `key_set_id`; a fresh one for another set or a damaged text.
TManifestState ReadManifestState(std::string_view text, const std::string& key_set_id);

/// The outcome of one manifest reply: the manifest and the state to keep when it is
/// accepted, else why not.
struct TManifestDecision {
  std::optional<TReleaseManifest> manifest;
  TManifestState state;
  std::string fault;
};

/// Checks `text` as the manifest of application `name`: signed by the threshold of
/// the trusted keys (the rotated set when the state holds one, else `configured`),
/// not older than the state's sequence, not expired at `now`, not signed later than
/// `now` plus the clock skew, offering a usable version.
TManifestDecision DecideManifest(std::string_view text, const std::string& name,
                                 const TKeySet& configured, const TManifestState& state,
                                 int64_t now);


}  // namespace kestrova
