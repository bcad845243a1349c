// Release signatures: the Ed25519 and SHA-256 values libgcrypt computes, their text
// forms, and the signed action list.
#include "release/release_signature.h"

#include <gtest/gtest.h>

#include <vector>

#include "release/action_list.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

// RFC 8032, section 7.1, test 2.
const TReleaseKeyPair kRfcKeys{FromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"),
                               FromHex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb")};
const std::string kRfcMessage = FromHex("72");
const std::string kRfcSignature = FromHex(
    "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
    "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");

// S + L, little-endian: the same signature in a second form the group order reduces away.
std::string WithSPlusGroupOrder(std::string signature) {
  const std::string order = FromHex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  unsigned carry = 0;
  for (size_t i = 0; i < 32; ++i) {
    const unsigned sum = static_cast<unsigned char>(signature[32 + i]) + static_cast<unsigned char>(order[i]) + carry;
    signature[32 + i] = static_cast<char>(sum & 0xFF);
    carry = sum >> 8;
  }
  return signature;
}

TEST(ReleaseSignature, SignsAsTheStandardDoes) {
  EXPECT_EQ(SignMessage(kRfcMessage, kRfcKeys), kRfcSignature);
  const auto fresh = GenerateReleaseKeyPair();
  ASSERT_TRUE(fresh);
  const auto signature = SignMessage("release", *fresh);
  ASSERT_TRUE(signature);
  EXPECT_TRUE(VerifySignature("release", *signature, fresh->public_key));
  EXPECT_NE(GenerateReleaseKeyPair()->secret, fresh->secret);
}

TEST(ReleaseSignature, VerifiesOnlyTheGenuineCanonicalSignature) {
  std::string flipped = kRfcSignature;
  flipped[5] ^= 1;
  const struct {
    const char* why;
    std::string message, signature, key;
    bool valid;
  } cases[] = {
      {"genuine", kRfcMessage, kRfcSignature, kRfcKeys.public_key, true},
      {"other message", "s", kRfcSignature, kRfcKeys.public_key, false},
      {"altered signature", kRfcMessage, flipped, kRfcKeys.public_key, false},
      {"other key", kRfcMessage, kRfcSignature, GenerateReleaseKeyPair()->public_key, false},
      {"S not below the group order", kRfcMessage, WithSPlusGroupOrder(kRfcSignature), kRfcKeys.public_key, false},
      {"truncated", kRfcMessage, kRfcSignature.substr(0, 63), kRfcKeys.public_key, false},
  };
  for (const auto& c : cases) EXPECT_EQ(VerifySignature(c.message, c.signature, c.key), c.valid) << c.why;
}

TEST(ReleaseSignature, HashesBuffersAndFiles) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  testing::TempFolder dir;
  const std::string big(200000, 'x');
  dir.Write("big", big);
  EXPECT_EQ(FileSha256Hex(dir.WithSeparator() + "big"), Sha256Hex(big));
  EXPECT_FALSE(FileSha256Hex(dir.WithSeparator() + "missing"));
}

TEST(ReleaseSignature, Base64IsStrict) {
  for (const std::string& data : std::vector<std::string>{"", "f", "fo", "foo", "foob", std::string("\0\xff\x80", 3)}) {
    EXPECT_EQ(DecodeBase64(EncodeBase64(data)), data);
  }
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  for (const char* bad : {"Zm8", "Zm9=", "Z=8=", "Zm=v", "Zm8*", "Zm8=Zm8="}) EXPECT_FALSE(DecodeBase64(bad)) << bad;
}

// RFC 8032, section 7.1, test 1: a second publisher's key.
const std::string kOtherPublicKey =
    FromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");

std::string Replaced(std::string text, std::string_view from, std::string_view to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(SignedActionList, AcceptsOnlyTheSignedBytesUnderTheConfiguredKey) {
  const std::string content = "[release]\nfilename1=a.zip\nsha256_1=" + std::string(64, 'a') + "\n";
  const std::string signed_list = *SignActionList(content, kRfcKeys);
  ASSERT_NE(signed_list.find("\n[signature]\nkey_id=39f713d0a644253f\ned25519="), std::string::npos)
      << signed_list;
  const std::string key = EncodeBase64(kRfcKeys.public_key);
  const std::string without_key_id = Replaced(signed_list, "key_id=39f713d0a644253f\n", "");
  std::string tampered = signed_list;
  tampered[tampered.find("a.zip")] = 'b';
  std::string crlf = signed_list;
  crlf.insert(crlf.find("\ned25519"), "\r");
  const std::string kChanged =
      "The signature of the action list does not match release_public_key.";
  const std::string kMalformed = "The signature of the action list is malformed.";
  const struct {
    const char* why;
    std::string text, key, fault;
  } cases[] = {
      {"signed", signed_list, key, ""},
      {"signature line ending in CR LF", crlf, key, ""},
      {"signed before key_id was written", without_key_id, key, ""},
      {"unsigned", content, key, "The action list is not signed."},
      {"other key", signed_list, EncodeBase64(kOtherPublicKey),
       "The action list is signed with another key (39f713d0a644253f), "
       "not release_public_key (21fe31dfa154a261)."},
      {"other key, signed before key_id was written", without_key_id,
       EncodeBase64(kOtherPublicKey), kChanged},
      {"content changed", tampered, key, kChanged},
      {"key_id edited: the signature decides", Replaced(signed_list, "39f7", "0000"), key, ""},
      {"key_id not 16 hexadecimal digits", Replaced(signed_list, "39f7", "39F7"), key, kMalformed},
      {"a key added to the signature section", signed_list + "filename2=x.zip\n", key, kMalformed},
      {"a section appended", signed_list + "[release]\nfilename2=x.zip\n", key, kMalformed},
      {"unusable configured key", signed_list, "not a key",
       "release_public_key is not an Ed25519 public key."},
  };
  for (const auto& c : cases) EXPECT_EQ(ActionListSignatureFault(c.text, c.key), c.fault) << c.why;
}

TEST(SignedActionList, NeedsAHashForEveryReleaseFile) {
  TActionList list;
  list.ReleaseFiles = {"a.zip", "b.zip"};
  list.ReleaseHashes = {std::string(64, 'a'), std::string(64, 'B')};
  EXPECT_EQ(ReleaseHashFault(list), "");
  list.ReleaseHashes[1] = std::string(63, 'b');
  EXPECT_EQ(ReleaseHashFault(list), "The action list gives no SHA-256 for b.zip.");
  list.ReleaseHashes[1] = std::string(64, 'g');
  EXPECT_NE(ReleaseHashFault(list), "");
}

}  // namespace
}  // namespace kestrova
