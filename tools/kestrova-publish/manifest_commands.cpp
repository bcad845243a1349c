#include "manifest_commands.h"

#include <chrono>

#include "base/files.h"
#include "base/ini.h"
#include "base/paths.h"
#include "delta_release.h"
#include "publish_release.h"
#include "release/action_list.h"

namespace kestrova {
namespace {

constexpr int64_t kDaySeconds = 24 * 60 * 60;

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string ManifestPath(const TManifestRequest& request) {
  return JoinPath(JoinPath(request.folder, request.name), kManifestFileName);
}

std::optional<TReleaseManifest> PreviousManifest(const std::string& path, std::string& fault) {
  const auto text = ReadWholeFile(path);
  if (!text) {
    fault = "no manifest " + path + " to start from";
    return std::nullopt;
  }
  auto manifest = ReadManifestBody(*text, fault);
  if (!manifest) fault = path + ": " + fault;
  return manifest;
}

std::optional<TManifestEntry> Entry(const std::string& app_folder, const std::string& relative) {
  const auto data = ReadWholeFile(JoinPath(app_folder, relative));
  if (!data) return std::nullopt;
  return TManifestEntry{relative, Sha256Hex(*data), static_cast<int64_t>(data->size())};
}

// The server hands out the RTF description when there is one.
std::optional<TManifestEntry> PublishedDescription(const std::string& app_folder) {
  if (auto rtf = Entry(app_folder, "description.rtf")) return rtf;
  return Entry(app_folder, "description.txt");
}

// actionlist.ini and the action list of every earlier version a delta starts from.
std::vector<TManifestEntry> PublishedActionLists(const std::string& app_folder) {
  std::vector<TManifestEntry> lists;
  if (auto full = Entry(app_folder, kActionListFileName)) lists.push_back(*full);
  std::vector<FolderEntry> bases;
  ListFolder(JoinPath(app_folder, kDeltasFolder), bases);
  for (const FolderEntry& base : bases) {
    if (!base.status.is_dir) continue;
    if (auto delta = Entry(app_folder, DeltaListName(base.name))) lists.push_back(*delta);
  }
  return lists;
}

// Signs `manifest` with a sequence above `previous` and a fresh expiry, and puts it in
// place through a temporary name.
std::string SignAndWrite(const TManifestRequest& request, TReleaseManifest manifest,
                         uint64_t previous, std::vector<std::string>& notes) {
  if (request.keys.empty()) return "the manifest needs at least one --key";
  const int64_t now = Now();
  // The time as a sequence keeps it growing even when the previous manifest is lost.
  manifest.sequence = std::max<uint64_t>(previous + 1, static_cast<uint64_t>(now));
  manifest.signed_at = now;
  manifest.expires = now + request.expires_days * kDaySeconds;
  const auto text = SignManifest(ManifestText(manifest), request.keys);
  if (!text) return "cannot sign the manifest";
  const std::string path = ManifestPath(request);
  if (!ReplaceFileSafely(path, *text)) return "cannot write " + path;
  notes.push_back("manifest " + std::to_string(manifest.sequence) + " of " + manifest.name + " " +
                  manifest.version + ", signed by " + std::to_string(request.keys.size()) +
                  " key(s), expires " + UtcTimeText(manifest.expires) +
                  ": run refresh before then");
  return {};
}

void Error(TCheckReport& report, const std::string& text) {
  report.errors.push_back("manifest: " + text);
}

void CheckEntry(const std::string& app_folder, const TManifestEntry& entry, TCheckReport& report) {
  const auto actual = Entry(app_folder, entry.path);
  if (!actual) return Error(report, entry.path + " is missing");
  if (actual->sha256 != entry.sha256 || actual->size != entry.size) {
    Error(report,
          entry.path +
              " changed after the manifest was written: updaters refuse it (run release again)");
  }
}

void CheckVouchesForAll(const std::string& app_folder, const TReleaseManifest& manifest,
                        TCheckReport& report) {
  const auto description = PublishedDescription(app_folder);
  if (!description || description->path != manifest.description.path) {
    Error(report,
          "names " + manifest.description.path + ", the server hands out another description");
  }
  CheckEntry(app_folder, manifest.description, report);
  for (const TManifestEntry& list : manifest.action_lists) CheckEntry(app_folder, list, report);
  for (const TManifestEntry& published : PublishedActionLists(app_folder)) {
    bool named = false;
    for (const TManifestEntry& list : manifest.action_lists)
      named = named || list.path == published.path;
    if (!named)
      Error(report,
            published.path + " is not named: updaters refuse it (run release again; refresh "
                             "signs only what the manifest already names)");
  }
}

}  // namespace

std::string WriteReleaseManifest(const TManifestRequest& request, std::vector<std::string>& notes) {
  const std::string app_folder = JoinPath(request.folder, request.name);
  const IniFile release(JoinPath(app_folder, kReleaseIni));
  TReleaseManifest manifest;
  manifest.name = request.name;
  manifest.version = release.ReadString("release", "version", "");
  manifest.date = release.ReadString("release", "date", "");
  const auto description = PublishedDescription(app_folder);
  if (!description) return "no description in " + app_folder + " for the manifest to vouch for";
  manifest.description = *description;
  manifest.action_lists = PublishedActionLists(app_folder);
  std::string fault;
  const auto previous = PreviousManifest(ManifestPath(request), fault);
  if (previous) {
    manifest.next_keys = previous->next_keys;
    manifest.next_threshold = previous->next_threshold;
  }
  return SignAndWrite(request, std::move(manifest), previous ? previous->sequence : 0, notes);
}

std::string RefreshManifest(const TManifestRequest& request, std::vector<std::string>& notes) {
  std::string fault;
  const auto previous = PreviousManifest(ManifestPath(request), fault);
  if (!previous) return fault;
  return SignAndWrite(request, *previous, previous->sequence, notes);
}

std::string RotateManifestKeys(const TManifestRequest& request, std::vector<std::string>& notes) {
  std::string fault;
  auto manifest = PreviousManifest(ManifestPath(request), fault);
  if (!manifest) return fault;
  if (request.next_keys.empty()) return "rotate-key needs --next-key";
  if (request.next_threshold < 1 ||
      request.next_threshold > static_cast<int32_t>(request.next_keys.size())) {
    return "--next-threshold needs between 1 and the number of --next-key";
  }
  const uint64_t previous = manifest->sequence;
  manifest->next_keys = request.next_keys;
  manifest->next_threshold = request.next_threshold;
  notes.push_back(
      "updaters that accept this manifest trust only the next keys from then on: keep signing with "
      "the current keys too until every updater has started once");
  return SignAndWrite(request, std::move(*manifest), previous, notes);
}

void CheckReleaseManifest(const TCheckRequest& request, const std::string& keys, int32_t threshold,
                          TCheckReport& report) {
  const std::string app_folder = JoinPath(request.folder, request.name);
  const auto text = ReadWholeFile(JoinPath(app_folder, kManifestFileName));
  if (!text)
    return Error(report, std::string(kManifestFileName) +
                             " is missing: updaters holding a key see no release");
  if (text->size() > 16 * 1024) Error(report, "larger than the 16 KiB an updater reads");
  const TKeySetReading key_set = ReadKeySet(keys, threshold);
  if (!key_set.fault.empty()) return Error(report, key_set.fault);
  const TManifestDecision decision =
      DecideManifest(*text, request.name, key_set.key_set, {}, Now());
  if (!decision.manifest) return Error(report, decision.fault);
  const std::string version =
      IniFile(JoinPath(app_folder, kReleaseIni)).ReadString("release", "version", "");
  if (decision.manifest->version != version) {
    Error(report, "offers " + decision.manifest->version + ", release.ini " + version +
                      " (run release again)");
  }
  if (decision.manifest->expires < Now() + kDaySeconds) {
    report.warnings.push_back("manifest: expires within a day, at " +
                              UtcTimeText(decision.manifest->expires));
  }
  CheckVouchesForAll(app_folder, *decision.manifest, report);
}

}  // namespace kestrova
