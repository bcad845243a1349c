#include "release/action_list.h"

#include "base/files.h"
#include "base/ini.h"
#include "base/text.h"

namespace kestrova {
namespace {

// Marker no value can hold (values are single trimmed lines): tells an absent key
// from one that is present with an empty value.
constexpr std::string_view kAbsent = "\n";

constexpr std::string_view kSignatureHeader = "[signature]";
constexpr std::string_view kKeyIdKey = "key_id=";
constexpr std::string_view kSignatureKey = "ed25519=";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The parts of a relative path between separators, empty parts included.
std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t begin = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      parts.push_back(path.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  return parts;
}

bool IsAbsolute(std::string_view path) {
  if (!path.empty() && IsSeparator(path.front())) return true;
  // A drive letter: "C:" reaches another folder whatever follows it.
  return path.size() >= 2 && path[1] == ':';
}

// The values of `base` + 1, `base` + 2, ... up to the first number whose key is
// absent; a key with an empty value still counts.
std::vector<std::string> ReadNumbered(const IniFile& ini, std::string_view section,
                                      const std::string& base) {
  std::vector<std::string> values;
  for (size_t n = 1;; ++n) {
    std::string value = ini.ReadString(section, base + std::to_string(n), kAbsent);
    if (value == kAbsent) break;
    values.push_back(std::move(value));
  }
  return values;
}

bool AllInside(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!NamesPlaceInside(entry)) return false;
  }
  return true;
}

bool AllSubfolders(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    if (!NamesSubfolder(entry)) return false;
  }
  return true;
}

// The list arrives unsigned over plain HTTP by default: entries that would write or
// delete outside the application folder, or delete the folder itself (and the
// updater in it), are refused as a whole, before anything is touched.
bool TouchesOnlyTheApplicationFolder(const TActionList& list) {
  return AllInside(list.ReleaseFiles) && AllInside(list.DeleteFiles) && AllInside(list.BaseFiles) &&
         AllSubfolders(list.DeleteFolders);
}

// Where the signature section starts: its header at the start of the last line that
// holds it. npos when there is none.
size_t SignatureSectionStart(std::string_view text) {
  for (size_t at = text.rfind(kSignatureHeader); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : text.rfind(kSignatureHeader, at - 1)) {
    if (at == 0 || text[at - 1] == '\n') return at;
  }
  return std::string_view::npos;
}

// Consumes one line break ("\n" or "\r\n") at the front of `rest`.
bool TakeLineBreak(std::string_view& rest) {
  if (rest.starts_with("\r\n")) {
    rest.remove_prefix(2);
  } else if (rest.starts_with('\n')) {
    rest.remove_prefix(1);
  } else {
    return false;
  }
  return true;
}

// Takes `key` and the value after it up to the line's end from the front of `rest`;
// nothing when `rest` does not start with `key`.
std::optional<std::string_view> TakeValue(std::string_view& rest, std::string_view key) {
  if (!rest.starts_with(key)) return std::nullopt;
  rest.remove_prefix(key.size());
  const std::string_view value = rest.substr(0, rest.find_first_of("\r\n"));
  rest.remove_prefix(value.size());
  return value;
}

bool IsKeyId(std::string_view text) {
  return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

struct SignatureLines {
  std::string_view key_id;  // empty: written before signers named their key
  std::string_view signature;
};

// The lines of a section in their one accepted form; anything else in it could carry
// keys no signature covers.
std::optional<SignatureLines> ReadSignatureLines(std::string_view section) {
  section.remove_prefix(kSignatureHeader.size());
  if (!TakeLineBreak(section)) return std::nullopt;
  SignatureLines lines;
  if (const auto key_id = TakeValue(section, kKeyIdKey)) {
    if (!IsKeyId(*key_id) || !TakeLineBreak(section)) return std::nullopt;
    lines.key_id = *key_id;
  }
  const auto signature = TakeValue(section, kSignatureKey);
  if (!signature) return std::nullopt;
  if (!section.empty() && (!TakeLineBreak(section) || !section.empty())) return std::nullopt;
  lines.signature = *signature;
  return lines;
}

bool IsSha256Hex(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

// A size as publishers write it: decimal digits only, within a signed 64-bit size.
int64_t PlainSize(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoll(text);
}

}  // namespace

std::optional<std::string> SignActionList(const std::string& content,
                                          const TReleaseKeyPair& keys) {
  const std::optional<std::string> signature = SignMessage(content, keys);
  if (!signature) return std::nullopt;
  return content + std::string(kSignatureHeader) + "\n" + std::string(kKeyIdKey) +
         ReleaseKeyId(keys.public_key) + "\n" + std::string(kSignatureKey) +
         EncodeBase64(*signature) + "\n";
}

TSignatureCheck CheckActionListSignature(std::string_view text, std::string_view public_key) {
  const std::optional<std::string> key = DecodeBase64(TrimBlanks(public_key));
  if (!key || key->size() != kEd25519KeySize) {
    return {TSignatureFault::kUnusableKey, "release_public_key is not an Ed25519 public key.", {}};
  }
  const std::string key_id = ReleaseKeyId(*key);
  const auto refused = [&key_id](TSignatureFault fault, std::string message) {
    return TSignatureCheck{fault, std::move(message), key_id};
  };
  const size_t start = SignatureSectionStart(text);
  if (start == std::string_view::npos) {
    return refused(TSignatureFault::kUnsigned, "The action list is not signed.");
  }
  const std::optional<SignatureLines> lines = ReadSignatureLines(text.substr(start));
  const auto signature = lines ? DecodeBase64(lines->signature) : std::nullopt;
  if (!signature) {
    return refused(TSignatureFault::kMalformed, "The signature of the action list is malformed.");
  }
  // The key_id line is not signed: it only picks the words, the signature decides.
  if (VerifySignature(text.substr(0, start), *signature, *key)) {
    return {TSignatureFault::kNone, {}, key_id};
  }
  if (!lines->key_id.empty() && lines->key_id != key_id) {
    return refused(TSignatureFault::kOtherKey,
                   "The action list is signed with another key (" + std::string(lines->key_id) +
                       "), not release_public_key (" + key_id + ").");
  }
  return refused(TSignatureFault::kChanged,
                 "The signature of the action list does not match release_public_key.");
}

std::string ActionListSignatureFault(std::string_view text, std::string_view public_key) {
  return CheckActionListSignature(text, public_key).message;
}

std::string ReleaseHashFault(const TActionList& list) {
  for (size_t i = 0; i < list.ReleaseFiles.size(); ++i) {
    if (i >= list.ReleaseHashes.size() || !IsSha256Hex(list.ReleaseHashes[i])) {
      return "The action list gives no SHA-256 for " + list.ReleaseFiles[i] + ".";
    }
  }
  return {};
}

bool NamesPlaceInside(std::string_view relative) {
  if (relative.find('\0') != std::string_view::npos || IsAbsolute(relative)) return false;
  for (std::string_view part : PathParts(relative)) {
    if (part == "..") return false;
  }
  return true;
}

bool NamesSubfolder(std::string_view relative) {
  if (!NamesPlaceInside(relative)) return false;
  for (std::string_view part : PathParts(relative)) {
    if (!part.empty() && part != ".") return true;
  }
  return false;
}

std::optional<TActionList> ReadActionList(const std::string& path) {
  if (!ReadWholeFile(path)) return std::nullopt;
  const IniFile ini(path);
  TActionList list;
  list.download_server_adr1 = ini.ReadString("release", "download_server_adr1", "");
  list.download_server_adr2 = ini.ReadString("release", "download_server_adr2", "");
  list.ReleaseFiles = ReadNumbered(ini, "release", "filename");
  list.filedir = ini.ReadString("release", "filedir", "");
  for (size_t n = 1; n <= list.ReleaseFiles.size(); ++n) {
    list.ReleaseHashes.push_back(ini.ReadString("release", "sha256_" + std::to_string(n), ""));
    list.ReleaseSizes.push_back(PlainSize(ini.ReadString("release", "size_" + std::to_string(n), "")));
  }
  list.version = ini.ReadString("release", "version", "");
  list.name = ini.ReadString("release", "name", "");
  list.ReplaceUpdater = ini.ReadInteger("release", "Upgrade_Kestrova", 0) == 1;
  list.CheckShortcuts = ini.ReadBool("release", "check_shortcuts", false);
  list.SaveList = ReadNumbered(ini, "save_action", "path");
  list.DeleteFiles = ReadNumbered(ini, "files_to_delete", "file");
  list.DeleteFolders = ReadNumbered(ini, "folders_to_delete", "dir");
  list.base_version = ini.ReadString("release", "base_version", "");
  list.delta_format = ini.ReadString("release", "delta_format", "");
  list.BaseFiles = ReadNumbered(ini, "delta_base", "file");
  for (size_t n = 1; n <= list.BaseFiles.size(); ++n) {
    list.BaseHashes.push_back(ini.ReadString("delta_base", "sha256_" + std::to_string(n), ""));
  }
  if (!TouchesOnlyTheApplicationFolder(list)) return std::nullopt;
  return list;
}

}  // namespace kestrova
