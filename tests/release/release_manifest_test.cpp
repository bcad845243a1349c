// The manifest as the updater decides on it: signatures of distinct trusted keys,
// the sequence kept, expiry and clock skew, the key set handed over.
#include <gtest/gtest.h>

#include <functional>

#include "release/release_manifest.h"

namespace kestrova {
namespace {

constexpr int64_t kNow = 1796900000;  // 2026-12-10T10:53:20Z

TEST(ReleaseManifest, IsAcceptedOnlyWhenSignedFreshAndNotOlder) {
  const TReleaseKeyPair a = *GenerateReleaseKeyPair(), b = *GenerateReleaseKeyPair(),
                        c = *GenerateReleaseKeyPair();
  TReleaseManifest base;
  base.name = "Demo";
  base.version = "1.1";
  base.sequence = 10;
  base.signed_at = kNow - 60;
  base.expires = kNow + 3600;
  base.description = {"description.txt", std::string(64, 'a'), 12};
  base.action_lists = {{"actionlist.ini", std::string(64, 'b'), 300}};
  const auto sign = [&](std::function<void(TReleaseManifest&)> change,
                        std::vector<TReleaseKeyPair> keys) {
    TReleaseManifest m = base;
    change(m);
    return *SignManifest(ManifestText(m), keys);
  };
  const auto same = [](TReleaseManifest&) {};
  const TKeySet ab{{a.public_key, b.public_key}, 2};
  const TKeySet only_a{{a.public_key}, 1};
  const std::string good = sign(same, {a});
  const struct {
    const char* why;
    std::string text;
    std::string fault;       // empty: accepted
    TKeySet keys = {{}, 1};  // none: only key a
    TManifestState state = {};
  } cases[] = {
      {"signed by the one key", good, ""},
      {"the same sequence again", good, "", {}, {10, {}}},
      {"changed after signing", std::string(good).replace(good.find("1.1"), 3, "9.9"),
       "0 of the 1"},
      {"no signature section", ManifestText(base), "is not signed"},
      {"a signature line that is no signature", good + "zz=x\n", "is not signed"},
      {"two distinct keys of two", sign(same, {b, a}), "", ab},
      {"one key signing twice counts once", sign(same, {a, a}), "1 of the 2", ab},
      {"signed by a key nobody trusts", sign(same, {c}), "0 of the 1"},
      {"a key twice", sign([](auto& m) { m.date = "x\nversion=6.6"; }, {a}),
       "version appears twice"},
      {"another application's", sign([](auto& m) { m.name = "Other"; }, {a}),
       "is for Other, not Demo"},
      {"an older sequence", good, "sequence 10, below the 11", {}, {11, {}}},
      {"expired", sign([](auto& m) { m.expires = kNow; }, {a}), "expired at 2026-12-10T10:53:20Z"},
      {"within the clock skew", sign([](auto& m) { m.signed_at = kNow + 60; }, {a}), ""},
      {"from the future", sign([](auto& m) { m.signed_at = kNow + 3600; }, {a}), "in the future"},
      {"the retired key after a rotation", good, "0 of the 1", {}, {3, {{c.public_key}, 1}}},
      {"the key handed over", sign(same, {c}), "", {}, {3, {{c.public_key}, 1}}},
      {"an unusable version", sign([](auto& m) { m.version = "1 b"; }, {a}), "no usable version"},
  };
  for (const auto& t : cases) {
    const TKeySet& keys = t.keys.keys.empty() ? only_a : t.keys;
    const TManifestDecision decision = DecideManifest(t.text, "Demo", keys, t.state, kNow);
    EXPECT_EQ(decision.manifest.has_value(), t.fault.empty()) << t.why << ": " << decision.fault;
    EXPECT_NE(decision.fault.find(t.fault), std::string::npos) << t.why << ": " << decision.fault;
    if (decision.manifest) {
      EXPECT_EQ(decision.state.sequence, 10u) << t.why;
    }
  }

  // A manifest handing over a key set: kept, with its threshold, through the state text.
  const TManifestDecision rotation =
      DecideManifest(sign(
                         [&](auto& m) {
                           m.next_keys = {b.public_key, c.public_key}, m.next_threshold = 2;
                         },
                         {a}),
                     "Demo", only_a, {}, kNow);
  const TManifestState kept = ReadManifestState(ManifestStateText("set", rotation.state), "set");
  EXPECT_EQ(kept.rotated.keys, (std::vector<std::string>{b.public_key, c.public_key}));
  EXPECT_EQ(kept.rotated.threshold, 2);
  EXPECT_EQ(kept.sequence, 10u);
  EXPECT_EQ(ReadManifestState(ManifestStateText("set", rotation.state), "other").sequence, 0u);
}

TEST(ReleaseManifest, ConfiguredKeysNeedAThresholdTheyCanMeet) {
  const std::string a = EncodeBase64(GenerateReleaseKeyPair()->public_key);
  const std::string b = EncodeBase64(GenerateReleaseKeyPair()->public_key);
  const struct {
    std::string keys;
    int32_t threshold;
    size_t distinct;
    std::string fault;
  } cases[] = {
      {a, 1, 1, ""},
      {a + ", " + b, 2, 2, ""},
      {a + "," + a, 2, 1, "release_key_threshold=2 needs between 1 and 1"},
      {a, 0, 1, "release_key_threshold=0"},
      {a + ",", 1, 1, "release_public_key: \"\" is not an Ed25519 public key"},
      {"AAAA", 1, 0, "release_public_key: \"AAAA\" is not an Ed25519 public key"},
  };
  for (const auto& t : cases) {
    const TKeySetReading reading = ReadKeySet(t.keys, t.threshold);
    EXPECT_EQ(reading.key_set.keys.size(), t.distinct) << t.keys;
    EXPECT_EQ(reading.fault.substr(0, t.fault.size()), t.fault) << t.keys;
    EXPECT_EQ(reading.fault.empty(), t.fault.empty()) << t.keys;
  }
  EXPECT_EQ(ReadUtcTime("2026-12-10T10:53:20Z"), kNow);
  EXPECT_EQ(ReadUtcTime("2026-02-30T10:53:20Z"), std::nullopt);
  EXPECT_EQ(ReadUtcTime("2026-12-10 08:53:20"), std::nullopt);
}

}  // namespace
}  // namespace kestrova
