#include "release/release_signature.h"

#include <gcrypt.h>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "base/native_file.h"

namespace kestrova {
namespace {

struct SexpRelease {
  void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<gcry_sexp, SexpRelease>;

struct DigestClose {
  void operator()(gcry_md_hd_t digest) const { gcry_md_close(digest); }
};
using Digest = std::unique_ptr<gcry_md_handle, DigestClose>;

// The library must be initialised once before its first use, from whichever thread
// gets there first. Secure memory is left off: the seed it would guard is read from
// an ordinary file anyway, and locking memory fails in many containers.
void InitialiseLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

Sexp Build(const char* format, auto... args) {
  gcry_sexp_t sexp = nullptr;
  if (gcry_sexp_build(&sexp, nullptr, format, args...) != 0) return nullptr;
  return Sexp(sexp);
}

// The data of the first list named `token` inside `sexp`, or nothing.
std::optional<std::string> TokenData(gcry_sexp_t sexp, const char* token) {
  Sexp found(gcry_sexp_find_token(sexp, token, 0));
  if (!found) return std::nullopt;
  size_t size = 0;
  const char* data = gcry_sexp_nth_data(found.get(), 1, &size);
  if (!data) return std::nullopt;
  return std::string(data, size);
}

// A 32-byte value the library may hand out shortened or with the 0x40 prefix of a
// compact point.
std::optional<std::string> Exactly32(std::optional<std::string> value) {
  if (!value) return std::nullopt;
  if (value->size() == kEd25519KeySize + 1 && (*value)[0] == '\x40') value->erase(0, 1);
  if (value->size() != kEd25519KeySize) return std::nullopt;
  return value;
}

Sexp MessageData(std::string_view message) {
  return Build("(data(flags eddsa)(hash-algo sha512)(value %b))", static_cast<int>(message.size()),
               message.data());
}

// The group order L = 2^252 + 27742317777372353535851937790883648493, little-endian.
constexpr std::array<unsigned char, 32> kGroupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

// libgcrypt reduces S modulo L before it checks, so S + L would verify as well as S.
bool IsBelowGroupOrder(std::string_view s) {
  for (size_t i = kGroupOrder.size(); i-- > 0;) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if (byte != kGroupOrder[i]) return byte < kGroupOrder[i];
  }
  return false;
}

std::string Hex(const unsigned char* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  for (int i = 0; i < 64; ++i) {
    if (kBase64Alphabet[i] == c) return i;
  }
  return -1;
}

}  // namespace

std::optional<TReleaseKeyPair> GenerateReleaseKeyPair() {
  InitialiseLibrary();
  Sexp parameters = Build("(genkey(ecc(curve Ed25519)(flags eddsa)))");
  gcry_sexp_t generated = nullptr;
  if (!parameters || gcry_pk_genkey(&generated, parameters.get()) != 0) return std::nullopt;
  Sexp key(generated);
  Sexp secret_part(gcry_sexp_find_token(key.get(), "private-key", 0));
  if (!secret_part) return std::nullopt;
  auto public_key = Exactly32(TokenData(secret_part.get(), "q"));
  auto secret = Exactly32(TokenData(secret_part.get(), "d"));
  if (!public_key || !secret) return std::nullopt;
  return TReleaseKeyPair{std::move(*public_key), std::move(*secret)};
}

std::optional<std::string> SignMessage(std::string_view message, const TReleaseKeyPair& keys) {
  if (keys.public_key.size() != kEd25519KeySize || keys.secret.size() != kEd25519KeySize) return std::nullopt;
  InitialiseLibrary();
  Sexp secret_key = Build("(private-key(ecc(curve Ed25519)(flags eddsa)(q %b)(d %b)))",
                          static_cast<int>(kEd25519KeySize), keys.public_key.data(),
                          static_cast<int>(kEd25519KeySize), keys.secret.data());
  Sexp data = MessageData(message);
  gcry_sexp_t signed_value = nullptr;
  if (!secret_key || !data || gcry_pk_sign(&signed_value, data.get(), secret_key.get()) != 0) return std::nullopt;
  Sexp signature(signed_value);
  auto r = Exactly32(TokenData(signature.get(), "r"));
  auto s = Exactly32(TokenData(signature.get(), "s"));
  if (!r || !s) return std::nullopt;
  return *r + *s;
}

bool VerifySignature(std::string_view message, std::string_view signature, std::string_view public_key) {
  if (signature.size() != kEd25519SignatureSize || public_key.size() != kEd25519KeySize) return false;
  if (!IsBelowGroupOrder(signature.substr(kEd25519KeySize))) return false;
  InitialiseLibrary();
  Sexp key = Build("(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))", static_cast<int>(kEd25519KeySize),
                   public_key.data());
  Sexp data = MessageData(message);
  Sexp value = Build("(sig-val(eddsa(r %b)(s %b)))", static_cast<int>(kEd25519KeySize), signature.data(),
                     static_cast<int>(kEd25519KeySize), signature.data() + kEd25519KeySize);
  return key && data && value && gcry_pk_verify(value.get(), data.get(), key.get()) == 0;
}

std::string Sha256Hex(std::string_view data) {
  InitialiseLibrary();
  std::array<unsigned char, 32> digest{};
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), data.data(), data.size());
  return Hex(digest.data(), digest.size());
}

std::string ReleaseKeyId(std::string_view public_key) {
  return Sha256Hex(public_key).substr(0, 16);
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
  InitialiseLibrary();
  NativeFile file = NativeFile::OpenForReading(path);
  gcry_md_hd_t opened = nullptr;
  if (!file.IsOpen() || gcry_md_open(&opened, GCRY_MD_SHA256, 0) != 0) return std::nullopt;
  Digest digest(opened);
  std::vector<char> buffer(1 << 16);
  try {
    uint64_t offset = 0;
    while (const size_t got = file.ReadAt(offset, buffer.data(), buffer.size())) {
      gcry_md_write(digest.get(), buffer.data(), got);
      offset += got;
    }
  } catch (const NativeFileError&) {
    return std::nullopt;
  }
  return Hex(gcry_md_read(digest.get(), GCRY_MD_SHA256), 32);
}

std::string EncodeBase64(std::string_view data) {
  std::string text;
  for (size_t i = 0; i < data.size(); i += 3) {
    const size_t left = std::min<size_t>(3, data.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < left ? static_cast<unsigned char>(data[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      text += k <= left ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string data;
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (padding == 1 && text[i + 2] == '=') return std::nullopt;  // "x=y=" has a hole
    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int value = k < 4 - padding ? Base64Value(text[i + k]) : 0;
      if (value < 0) return std::nullopt;
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    const size_t bytes = 3 - padding;
    // Bits below the last byte must be zero, or two texts would give the same bytes.
    if ((group & ((1u << (8 * (3 - bytes))) - 1)) != 0) return std::nullopt;
    for (size_t k = 0; k < bytes; ++k) data += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
  }
  return data;
}

}  // namespace kestrova
