#include "key_file.h"

#include "base/files.h"
#include "base/ini.h"

namespace kestrova {
namespace {

constexpr char kSection[] = "ed25519";

std::optional<std::string> ReadKeyHalf(const IniFile& file, const char* key) {
  auto value = DecodeBase64(file.ReadString(kSection, key, ""));
  if (!value || value->size() != kEd25519KeySize) return std::nullopt;
  return value;
}

}  // namespace

std::string PublicKeyLine(const std::string& public_key) { return "release_public_key=" + EncodeBase64(public_key); }

bool WriteKeyFile(const std::string& path, const TReleaseKeyPair& keys) {
  return CreateOwnerOnlyFile(path, "; kestrova-publish release signing key: keep it secret\n[ed25519]\nsecret=" +
                                       EncodeBase64(keys.secret) + "\npublic=" + EncodeBase64(keys.public_key) +
                                       "\n");
}

std::optional<TReleaseKeyPair> ReadKeyFile(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  const IniFile file(path);
  auto secret = ReadKeyHalf(file, "secret");
  auto public_key = ReadKeyHalf(file, "public");
  if (!secret || !public_key) return std::nullopt;
  TReleaseKeyPair keys{std::move(*public_key), std::move(*secret)};
  // A pair whose halves do not match would sign releases no updater accepts.
  const auto probe = SignMessage("probe", keys);
  if (!probe || !VerifySignature("probe", *probe, keys.public_key)) return std::nullopt;
  return keys;
}

}  // namespace kestrova
