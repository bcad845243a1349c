#include "release/release_manifest.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "base/text.h"
#include "core/configuration.h"

namespace kestrova {
namespace {

constexpr std::string_view kBodyHeader = "[manifest]";
constexpr std::string_view kSignaturesHeader = "[signatures]";
constexpr size_t kKeyIdSize = 16;

using Values = std::map<std::string, std::string, std::less<>>;

// The lines of `text`, each without its "\n" or "\r\n"; a last line without a break
// counts too.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

// "key=value" lines below `header`; a second value for one key is refused, since the
// updater and a publisher's eye could each read another one.
std::optional<Values> ReadValues(std::string_view text, std::string_view header,
                                 std::string& fault) {
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.empty() || lines.front() != header) {
    fault = "it does not start with " + std::string(header);
    return std::nullopt;
  }
  Values values;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.empty() || line.starts_with(';')) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) {
      fault = "line " + std::to_string(i + 1) + " is no key=value";
      return std::nullopt;
    }
    if (!values.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)))
             .second) {
      fault = "key " + std::string(line.substr(0, equals)) + " appears twice";
      return std::nullopt;
    }
  }
  return values;
}

std::string Value(const Values& values, const std::string& key) {
  const auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

std::optional<uint64_t> PlainNumber(std::string_view text) {
  if (text.empty() || text.size() > 18 ||
      text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::stoull(std::string(text));
}

bool IsSha256(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<TManifestEntry> ReadEntry(const Values& values, const std::string& path,
                                        const std::string& sha_key, const std::string& size_key) {
  const std::string sha256 = Value(values, sha_key);
  const auto size = PlainNumber(Value(values, size_key));
  if (!IsSha256(sha256) || !size) return std::nullopt;
  return TManifestEntry{path, sha256, static_cast<int64_t>(*size)};
}

// Where the signature section starts: the last line that is its header.
size_t SignaturesStart(std::string_view text) {
  for (size_t at = text.rfind(kSignaturesHeader); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : text.rfind(kSignaturesHeader, at - 1)) {
    if (at == 0 || text[at - 1] == '\n') return at;
  }
  return std::string_view::npos;
}

bool IsKeyId(std::string_view text) {
  return text.size() == kKeyIdSize &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string NumberedKeys(const std::vector<std::string>& keys) {
  std::string text;
  for (size_t i = 0; i < keys.size(); ++i) {
    text += "next_key" + std::to_string(i + 1) + "=" + EncodeBase64(keys[i]) + "\n";
  }
  return text;
}

// next_key1, next_key2, ... up to the first absent number; nothing when one is no key.
std::optional<std::vector<std::string>> ReadNumberedKeys(const Values& values) {
  std::vector<std::string> keys;
  for (size_t n = 1; values.contains("next_key" + std::to_string(n)); ++n) {
    auto key = DecodeBase64(Value(values, "next_key" + std::to_string(n)));
    if (!key || key->size() != kEd25519KeySize) return std::nullopt;
    keys.push_back(std::move(*key));
  }
  return keys;
}

std::string Refusal(const std::string& why) { return "The release manifest " + why + "."; }

}  // namespace

TKeySetReading ReadKeySet(std::string_view configured, int32_t threshold) {
  TKeySetReading reading;
  std::set<std::string> ids;
  size_t begin = 0;
  while (begin <= configured.size()) {
    const size_t end = std::min(configured.find(',', begin), configured.size());
    const std::string_view text = TrimBlanks(configured.substr(begin, end - begin));
    const auto key = DecodeBase64(text);
    if (!key || key->size() != kEd25519KeySize) {
      reading.fault =
          "release_public_key: \"" + std::string(text) + "\" is not an Ed25519 public key";
      return reading;
    }
    if (ids.insert(ReleaseKeyId(*key)).second) reading.key_set.keys.push_back(*key);
    begin = end + 1;
  }
  reading.key_set.threshold = threshold;
  const auto keys = static_cast<int32_t>(reading.key_set.keys.size());
  if (threshold < 1 || threshold > keys) {
    reading.fault = "release_key_threshold=" + std::to_string(threshold) + " needs between 1 and " +
                    std::to_string(keys) + " (the distinct keys of release_public_key)";
  }
  return reading;
}

std::string KeySetId(const TKeySet& key_set) {
  std::vector<std::string> ids;
  for (const std::string& key : key_set.keys) ids.push_back(ReleaseKeyId(key));
  std::sort(ids.begin(), ids.end());
  std::string text = std::to_string(key_set.threshold);
  for (const std::string& id : ids) text += ":" + id;
  return Sha256Hex(text).substr(0, kKeyIdSize);
}

std::string UtcTimeText(int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds(seconds)};
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<int64_t> ReadUtcTime(std::string_view text) {
  using namespace std::chrono;
  constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != kForm.size()) return std::nullopt;
  for (size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return std::nullopt;
  }
  const auto number = [&](size_t at, size_t size) {
    return std::stoi(std::string(text.substr(at, size)));
  };
  const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                            day{static_cast<unsigned>(number(8, 2))}};
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days{date}.time_since_epoch() / 1s + hour * 3600 + minute * 60 + second;
}

std::string ManifestText(const TReleaseManifest& m) {
  std::string text = std::string(kBodyHeader) + "\nname=" + m.name + "\nversion=" + m.version +
                     "\ndate=" + m.date + "\nsequence=" + std::to_string(m.sequence) +
                     "\nsigned=" + UtcTimeText(m.signed_at) +
                     "\nexpires=" + UtcTimeText(m.expires) + "\ndescription=" + m.description.path +
                     "\ndescription_sha256=" + m.description.sha256 +
                     "\ndescription_size=" + std::to_string(m.description.size) + "\n";
  for (size_t i = 0; i < m.action_lists.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    text += "actionlist" + n + "=" + m.action_lists[i].path + "\nactionlist_sha256_" + n + "=" +
            m.action_lists[i].sha256 + "\nactionlist_size_" + n + "=" +
            std::to_string(m.action_lists[i].size) + "\n";
  }
  if (!m.next_keys.empty()) {
    text += NumberedKeys(m.next_keys) + "next_threshold=" + std::to_string(m.next_threshold) + "\n";
  }
  return text;
}

std::optional<std::string> SignManifest(const std::string& body,
                                        const std::vector<TReleaseKeyPair>& keys) {
  if (keys.empty()) return std::nullopt;
  std::string text = body + std::string(kSignaturesHeader) + "\n";
  for (const TReleaseKeyPair& pair : keys) {
    const auto signature = SignMessage(body, pair);
    if (!signature) return std::nullopt;
    text += ReleaseKeyId(pair.public_key) + "=" + EncodeBase64(*signature) + "\n";
  }
  return text;
}

std::optional<TReleaseManifest> ReadManifestBody(std::string_view text, std::string& fault) {
  const size_t start = SignaturesStart(text);
  const auto values = ReadValues(text.substr(0, start), kBodyHeader, fault);
  if (!values) return std::nullopt;
  TReleaseManifest m;
  m.name = Value(*values, "name");
  m.version = Value(*values, "version");
  m.date = Value(*values, "date");
  const auto sequence = PlainNumber(Value(*values, "sequence"));
  const auto signed_at = ReadUtcTime(Value(*values, "signed"));
  const auto expires = ReadUtcTime(Value(*values, "expires"));
  const auto description =
      ReadEntry(*values, Value(*values, "description"), "description_sha256", "description_size");
  const auto next_keys = ReadNumberedKeys(*values);
  if (!sequence || !signed_at || !expires || !description || !next_keys) {
    fault =
        "sequence, signed, expires, the description's digest or a next key is missing or malformed";
    return std::nullopt;
  }
  m.sequence = *sequence;
  m.signed_at = *signed_at;
  m.expires = *expires;
  m.description = *description;
  m.next_keys = *next_keys;
  for (size_t n = 1; values->contains("actionlist" + std::to_string(n)); ++n) {
    const std::string number = std::to_string(n);
    const auto entry = ReadEntry(*values, Value(*values, "actionlist" + number),
                                 "actionlist_sha256_" + number, "actionlist_size_" + number);
    if (!entry) {
      fault = "the digest of actionlist" + number + " is missing or malformed";
      return std::nullopt;
    }
    m.action_lists.push_back(*entry);
  }
  if (!m.next_keys.empty()) {
    const auto threshold = PlainNumber(Value(*values, "next_threshold"));
    if (!threshold || *threshold < 1 || *threshold > m.next_keys.size()) {
      fault = "next_threshold does not fit its next keys";
      return std::nullopt;
    }
    m.next_threshold = static_cast<int32_t>(*threshold);
  }
  return m;
}

std::optional<size_t> CountValidSignatures(std::string_view text, const TKeySet& key_set) {
  const size_t start = SignaturesStart(text);
  if (start == std::string_view::npos) return std::nullopt;
  const std::string_view body = text.substr(0, start);
  std::vector<std::string_view> lines = Lines(text.substr(start));
  std::set<std::string> valid;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.size() < kKeyIdSize + 1 || line[kKeyIdSize] != '=' ||
        !IsKeyId(line.substr(0, kKeyIdSize))) {
      return std::nullopt;
    }
    const auto signature = DecodeBase64(line.substr(kKeyIdSize + 1));
    if (!signature) return std::nullopt;
    // A line of a key this updater does not hold is no fault: the publisher may sign
    // with a new key that older updaters learn of later.
    for (const std::string& key : key_set.keys) {
      const std::string id = ReleaseKeyId(key);
      if (id == line.substr(0, kKeyIdSize) && VerifySignature(body, *signature, key))
        valid.insert(id);
    }
  }
  return valid.size();
}

std::string ManifestStateText(const std::string& key_set_id, const TManifestState& state) {
  std::string text = "[" + key_set_id + "]\nsequence=" + std::to_string(state.sequence) + "\n";
  if (!state.rotated.keys.empty()) {
    text += NumberedKeys(state.rotated.keys) +
            "next_threshold=" + std::to_string(state.rotated.threshold) + "\n";
  }
  return text;
}

TManifestState ReadManifestState(std::string_view text, const std::string& key_set_id) {
  std::string fault;
  const auto values = ReadValues(text, "[" + key_set_id + "]", fault);
  if (!values) return {};
  TManifestState state;
  state.sequence = PlainNumber(Value(*values, "sequence")).value_or(0);
  const auto keys = ReadNumberedKeys(*values);
  const auto threshold = PlainNumber(Value(*values, "next_threshold"));
  if (keys && !keys->empty() && threshold && *threshold >= 1 && *threshold <= keys->size()) {
    state.rotated = {*keys, static_cast<int32_t>(*threshold)};
  }
  return state;
}

TManifestDecision DecideManifest(std::string_view text, const std::string& name,
                                 const TKeySet& configured, const TManifestState& state,
                                 int64_t now) {
  TManifestDecision decision;
  const TKeySet& trusted = state.rotated.keys.empty() ? configured : state.rotated;
  const auto valid = CountValidSignatures(text, trusted);
  std::string fault;
  const auto manifest = ReadManifestBody(text, fault);
  if (!valid) {
    decision.fault = Refusal("is not signed");
  } else if (*valid < static_cast<size_t>(trusted.threshold)) {
    decision.fault = Refusal("carries valid signatures of " + std::to_string(*valid) + " of the " +
                             std::to_string(trusted.threshold) + " keys it needs (key set " +
                             KeySetId(trusted) + ")");
  } else if (!manifest) {
    decision.fault = Refusal("is malformed: " + fault);
  } else if (manifest->name != name) {
    decision.fault = Refusal("is for " + manifest->name + ", not " + name);
  } else if (manifest->sequence < state.sequence) {
    decision.fault =
        Refusal("has sequence " + std::to_string(manifest->sequence) + ", below the " +
                std::to_string(state.sequence) + " accepted before: an older release is replayed");
  } else if (manifest->expires <= now) {
    decision.fault = Refusal("expired at " + UtcTimeText(manifest->expires));
  } else if (manifest->signed_at > now + kManifestClockSkewSeconds) {
    decision.fault = Refusal("was signed at " + UtcTimeText(manifest->signed_at) +
                             ", in the future of this computer's clock (" + UtcTimeText(now) + ")");
  } else if (!IsReleaseVersion(manifest->version)) {
    decision.fault = Refusal("offers no usable version");
  }
  if (!decision.fault.empty()) return decision;
  decision.state.sequence = manifest->sequence;
  decision.state.rotated = state.rotated;
  if (!manifest->next_keys.empty())
    decision.state.rotated = {manifest->next_keys, manifest->next_threshold};
  decision.manifest = manifest;
  return decision;
}

}  // namespace kestrova
