#include "check_folder.h"

#include "base/files.h"
#include "base/ini.h"
#include "base/paths.h"
#include "base/text.h"
#include "core/configuration.h"
#include "delta_release.h"
#include "publish_release.h"
#include "recipe.h"
#include "release/action_list.h"

namespace kestrova {
namespace {

struct Offer {
  std::string version;
  std::string date;
};

Offer CheckReleaseIni(const std::string& app_folder, TCheckReport& report) {
  const std::string path = JoinPath(app_folder, kReleaseIni);
  Offer offer;
  if (!FileExists(path)) {
    report.errors.push_back(path + " is missing");
    return offer;
  }
  const IniFile ini(path);
  offer.version = ini.ReadString("release", "version", "");
  offer.date = ini.ReadString("release", "date", "");
  if (const std::string fault = VersionFault(offer.version); !fault.empty()) {
    report.errors.push_back(path + ": " + fault);
  }
  // A static web server answers request 1 with this file as it stands.
  const auto reply = ReadWholeFile(JoinPath(app_folder, kVersionReply));
  if (reply && *reply != offer.version + ";" + offer.date) {
    report.errors.push_back(std::string(kVersionReply) + " says \"" + *reply + "\", release.ini " + offer.version +
                            ";" + offer.date);
  }
  return offer;
}

void CheckReleaseFiles(const std::string& app_folder, const TActionList& list, TCheckReport& report) {
  if (list.ReleaseFiles.empty()) report.errors.push_back("the action list names no release file");
  for (size_t i = 0; i < list.ReleaseFiles.size(); ++i) {
    const std::string& file = list.ReleaseFiles[i];
    const std::string path = JoinToFolder(WithTrailingSeparator(JoinPath(app_folder, kFilesFolder)), file);
    const auto actual = FileSha256Hex(path);
    if (!actual) {
      report.errors.push_back("release file " + file + " is missing");
    } else if (list.ReleaseSizes[i] != 0 && QueryFile(path)->size != static_cast<uint64_t>(list.ReleaseSizes[i])) {
      report.errors.push_back("release file " + file + " does not have its size_" + std::to_string(i + 1) + " of " +
                              std::to_string(list.ReleaseSizes[i]) + " bytes");
    } else if (list.ReleaseHashes[i].empty()) {
      report.warnings.push_back("release file " + file + " has no sha256_" + std::to_string(i + 1));
    } else if (!EqualsIgnoreCase(*actual, list.ReleaseHashes[i])) {
      report.errors.push_back("release file " + file + " does not match its sha256_" + std::to_string(i + 1));
    }
  }
}

void CheckDownloadServers(const std::string& list_path, const TActionList& list,
                          TCheckReport& report) {
  std::vector<std::string> servers = {list.download_server_adr1};
  // The fallback is optional.
  if (!list.download_server_adr2.empty()) servers.push_back(list.download_server_adr2);
  for (const std::string& server : servers) {
    if (const std::string fault = DownloadServerFault(server); !fault.empty()) {
      report.errors.push_back(list_path + ": " + fault);
    }
  }
}

// The updater's words for a list edited by hand only say the signature does not
// match; a publisher needs to hear that the edit, not the key, is at fault. Any one
// of several keys may have signed the list.
std::string SignatureFault(const std::string& text, const std::string& keys) {
  TSignatureCheck check;
  for (size_t begin = 0; begin <= keys.size(); begin = keys.find(',', begin) + 1) {
    check = CheckActionListSignature(text, keys.substr(begin, keys.find(',', begin) - begin));
    if (check.fault == TSignatureFault::kNone || keys.find(',', begin) == std::string::npos) break;
  }
  if (check.fault != TSignatureFault::kChanged) return check.message;
  return "The action list changed after signing: its signature does not match "
         "release_public_key (" + check.key_id + "). Publish it again instead of editing it.";
}

void CheckSignature(const std::string& text, const TActionList& list, const Offer& offer,
                    const TCheckRequest& request, TCheckReport& report) {
  const std::string key = VerifyingKeys(request);
  if (key.empty()) return;
  std::string fault = SignatureFault(text, key);
  if (fault.empty()) fault = ReleaseHashFault(list);
  if (!fault.empty()) report.errors.push_back(fault);
  if (list.version != offer.version || list.name != request.name) {
    report.errors.push_back("the action list is for " + list.name + " " + list.version + ", release.ini offers " +
                            request.name + " " + offer.version + ": updaters holding the key refuse it");
  }
}

// Each delta list is checked as the full one is, and must apply to the version its
// folder names: the servers hand it to the updaters of that version.
void CheckDeltaLists(const std::string& app_folder, const Offer& offer, const TCheckRequest& request,
                     TCheckReport& report) {
  std::vector<FolderEntry> bases;
  ListFolder(JoinPath(app_folder, kDeltasFolder), bases);
  for (const FolderEntry& base : bases) {
    const std::string name = DeltaListName(base.name);
    const auto text = ReadWholeFile(JoinPath(app_folder, name));
    const auto list = text ? ReadActionList(JoinPath(app_folder, name)) : std::nullopt;
    TCheckReport found;
    if (!list) {
      found.errors.push_back(text ? "refused by the updater" : "missing");
    } else {
      if (list->base_version != base.name) found.errors.push_back("its base_version is \"" + list->base_version + "\"");
      CheckReleaseFiles(app_folder, *list, found);
      CheckSignature(*text, *list, offer, request, found);
    }
    for (const std::string& error : found.errors) report.errors.push_back(name + ": " + error);
    for (const std::string& warning : found.warnings) report.warnings.push_back(name + ": " + warning);
  }
}

}  // namespace

std::string VerifyingKeys(const TCheckRequest& request) {
  if (!request.public_key.empty()) return request.public_key;
  const std::string published =
      ReadWholeFile(JoinPath(JoinPath(request.folder, request.name), kPublishedKey)).value_or("");
  return published.substr(0, published.find_first_of("\r\n"));
}

TCheckReport CheckPublishedRelease(const TCheckRequest& request) {
  TCheckReport report;
  const std::string app_folder = JoinPath(request.folder, request.name);
  const Offer offer = CheckReleaseIni(app_folder, report);
  if (!offer.version.empty() && !request.previous.empty() && !IsNewerRelease(offer.version, request.previous)) {
    report.warnings.push_back("version \"" + offer.version + "\" does not count as newer than \"" + request.previous +
                              "\": updaters compare versions as text, byte by byte");
  }
  if (!FileExists(JoinPath(app_folder, "description.rtf")) && !FileExists(JoinPath(app_folder, "description.txt"))) {
    report.warnings.push_back("no description.rtf or description.txt");
  }
  const std::string list_path = JoinPath(app_folder, kActionListFileName);
  const auto text = ReadWholeFile(list_path);
  const auto list = text ? ReadActionList(list_path) : std::nullopt;
  if (!list) {
    report.errors.push_back(list_path + (text ? " is refused by the updater" : " is missing"));
    return report;
  }
  CheckDownloadServers(list_path, *list, report);
  CheckReleaseFiles(app_folder, *list, report);
  CheckSignature(*text, *list, offer, request, report);
  CheckDeltaLists(app_folder, offer, request, report);
  return report;
}

}  // namespace kestrova
