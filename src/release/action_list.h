// The action list: what an upgrade downloads, saves, removes and retargets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/release_signature.h"

namespace kestrova {

/// File name of the stored action list in the application folder.
inline constexpr char kActionListFileName[] = "actionlist.ini";

/// One action list as the update server sent it. The lists keep the order of their
/// numbered keys; the fields are named after the keys they come from.
struct TActionList {
  std::string download_server_adr1;
  std::string download_server_adr2;
  std::string filedir;
  std::vector<std::string> ReleaseFiles;
  /// sha256_1, sha256_2, ...: the SHA-256 of each release file in hexadecimal, one
  /// per ReleaseFiles entry, empty where the key is absent.
  std::vector<std::string> ReleaseHashes;
  /// size_1, size_2, ...: the size of each release file in bytes, one per ReleaseFiles
  /// entry, 0 where the key is absent or not a plain number. A download never grows
  /// past a stated size.
  std::vector<int64_t> ReleaseSizes;
  /// The release and application the list was published for; signed lists carry them
  /// so that an old or another application's list cannot be replayed.
  std::string version;
  std::string name;
  /// Set in a delta list only (see release/delta_base.h): the installed version it
  /// applies to, the format of its archives, and each base file it replaces or
  /// deletes with the SHA-256 that file must have.
  std::string base_version;
  std::string delta_format;
  std::vector<std::string> BaseFiles;
  std::vector<std::string> BaseHashes;
  std::vector<std::string> SaveList;
  std::vector<std::string> DeleteFiles;
  std::vector<std::string> DeleteFolders;
  bool ReplaceUpdater = false;
  bool CheckShortcuts = false;
};

/// Reads the action list stored at `path`. Nothing when the file cannot be read, or
/// when an entry would download into or delete from a place outside the
/// application folder (see NamesPlaceInside and NamesSubfolder).
std::optional<TActionList> ReadActionList(const std::string& path);

/// The section that carries the action list's signature: "[signature]", then a line
/// "key_id=<ReleaseKeyId of the signing key>" (absent from lists signed before it
/// was written), then "ed25519=<base64>", the last lines of the file. The signature
/// covers every byte in front of the section's first line.
inline constexpr char kSignatureSection[] = "signature";

/// `content` (ending in a line break) with the signature section appended.
std::optional<std::string> SignActionList(const std::string& content, const TReleaseKeyPair& keys);

/// Why a list's signature is refused, for callers that word their own advice.
enum class TSignatureFault { kNone, kUnusableKey, kUnsigned, kMalformed, kOtherKey, kChanged };

struct TSignatureCheck {
  TSignatureFault fault = TSignatureFault::kNone;
  std::string message;  // the updater's words; empty when fault is kNone
  std::string key_id;   // ReleaseKeyId of the configured key; empty when it is unusable
};

/// Checks `text` against `public_key` (base64, as configured). A list whose key_id
/// names another key is kOtherKey; one that names this key, or none, and does not
/// verify is kChanged.
TSignatureCheck CheckActionListSignature(std::string_view text, std::string_view public_key);

/// Why `text` is not an action list signed by `public_key` (base64, as configured),
/// or an empty text when it is.
std::string ActionListSignatureFault(std::string_view text, std::string_view public_key);

/// Why a signed list's release files could not be checked (a file without a
/// well-formed sha256_N), or an empty text when each has one.
std::string ReleaseHashFault(const TActionList& list);

/// True when `relative`, joined to a folder, stays inside it: not absolute, no ".."
/// part, no NUL byte. Either "/" or "\\" separates parts.
bool NamesPlaceInside(std::string_view relative);

/// True when `relative` names a folder strictly below the one it is joined to, never
/// that folder itself: inside it, and with a part other than "." (so not empty).
bool NamesSubfolder(std::string_view relative);

}  // namespace kestrova
