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
    TKeySet keys;
    TManifestState state;
    std::string fault;  // empty: accepted
  } cases[] = {
      {"signed by the one key", good, only_a, {}, ""},
      {"the same sequence again", good, only_a, {10, {}}, ""},
      {"a byte changed after signing",
       std::string(good).replace(good.find("1.1"), 3, "9.9"),
       only_a,
       {},
       "valid signatures of 0 of the 1"},
      {"no signature section", ManifestText(base), only_a, {}, "is not signed"},
      {"a signature line that is no signature", good + "zz=x\n", only_a, {}, "is not signed"},
      {"two distinct keys of two", sign(same, {b, a}), ab, {}, ""},
      {"one key signing twice does not count twice",
       sign(same, {a, a}),
       ab,
       {},
       "valid signatures of 1 of the 2"},
      {"signed by a key nobody trusts",
       sign(same, {c}),
       only_a,
       {},
       "valid signatures of 0 of the 1"},
      {"a key twice in the signed text",
       sign([](auto& m) { m.date = "x\nversion=6.6"; }, {a}),
       only_a,
       {},
       "key version appears twice"},
      {"another application's",
       sign([](auto& m) { m.name = "Other"; }, {a}),
       only_a,
       {},
       "is for Other, not Demo"},
      {"an older sequence", good, only_a, {11, {}}, "sequence 10, below the 11"},
      {"expired",
       sign([](auto& m) { m.expires = kNow; }, {a}),
       only_a,
       {},
       "expired at 2026-12-10T10:53:20Z"},
      {"signed within the clock skew ahead",
       sign([](auto& m) { m.signed_at = kNow + 60; }, {a}),
       only_a,
       {},
       ""},
      {"signed further ahead",
       sign([](auto& m) { m.signed_at = kNow + 3600; }, {a}),
       only_a,
       {},
       "in the future"},
      {"the retired key after a rotation",
       good,
       only_a,
       {3, {{c.public_key}, 1}},
       "valid signatures of 0 of the 1"},
      {"the key handed over", sign(same, {c}), only_a, {3, {{c.public_key}, 1}}, ""},
      {"a version no updater takes",
       sign([](auto& m) { m.version = "1.1 beta"; }, {a}),
       only_a,
       {},
       "offers no usable version"},
  };
  for (const auto& t : cases) {
    const TManifestDecision decision = DecideManifest(t.text, "Demo", t.keys, t.state, kNow);
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
