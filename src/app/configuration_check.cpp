#include "app/configuration_check.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "app/manage_check.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/profile_text.h"
#include "base/text.h"
#include "core/configuration.h"
#include "core/launcher.h"
#include "net/protocol.h"
#include "release/release_manifest.h"
#include "upgrade/elevation.h"

namespace kestrova {
namespace {

constexpr uint32_t kAnyExecuteBit = 0111;
constexpr int32_t kAccessTypeDirect = 1;
constexpr int32_t kAccessTypeNamedProxy = 3;

void Say(ConfigurationReport& report, const std::string& line) { report.lines.push_back(line); }

void Fault(ConfigurationReport& report, const std::string& problem) {
  report.lines.push_back("error: " + problem);
  report.ok = false;
}

char Folded(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The known name closest to `name`, when one is close enough to be a slip of the
// keyboard rather than a different word.
std::optional<std::string> NearestName(const std::string& name,
                                       const std::vector<std::string>& known) {
  const std::string* best = nullptr;
  size_t best_distance = 0;
  for (const std::string& candidate : known) {
    const size_t distance = EditDistance(name, candidate);
    if (!best || distance < best_distance) {
      best = &candidate;
      best_distance = distance;
    }
  }
  if (!best || best_distance > std::max<size_t>(2, best->size() / 3)) return std::nullopt;
  return *best;
}

std::string Suggestion(const std::optional<std::string>& nearest, const std::string& open,
                       const std::string& close) {
  return nearest ? "; did you mean " + open + *nearest + close + "?" : "";
}

bool IsKnown(const std::string& name, const std::vector<std::string>& known) {
  return std::any_of(known.begin(), known.end(),
                     [&](const std::string& k) { return EqualsIgnoreCase(k, name); });
}

std::vector<std::string> KnownSections() {
  std::vector<std::string> sections;
  for (const ConfigurationKey& key : ConfigurationKeys()) {
    if (!IsKnown(key.section, sections)) sections.push_back(key.section);
  }
  return sections;
}

std::vector<std::string> KnownKeys(const std::string& section) {
  std::vector<std::string> keys;
  for (const ConfigurationKey& key : ConfigurationKeys()) {
    if (EqualsIgnoreCase(key.section, section)) keys.push_back(key.key);
  }
  return keys;
}

// A misspelt name is never an error of the reader's: it reads the default instead,
// which silently switches a feature off.
void CheckNames(const std::string& path, ConfigurationReport& report) {
  const std::string content = ReadWholeFile(path).value_or("");
  const std::vector<std::string> sections = KnownSections();
  for (const ProfileName& name : ListProfileNames(content)) {
    if (name.key.empty()) {
      if (IsKnown(name.section, sections)) continue;
      Fault(report, "[" + name.section + "]: unknown section" +
                        Suggestion(NearestName(name.section, sections), "[", "]"));
    } else if (IsKnown(name.section, sections)) {
      const std::vector<std::string> keys = KnownKeys(name.section);
      if (IsKnown(name.key, keys)) continue;
      Fault(report, name.key + ": unknown key in [" + name.section + "]" +
                        Suggestion(NearestName(name.key, keys), "", ""));
    } else if (name.section.empty()) {
      Fault(report, name.key + ": key outside any section");
    }
  }
}

// Whether the load got as far as the keys: a fault of the updater's own file ends it
// before the first one.
bool ReadSettings(TSettings& settings, const std::string& executable_path,
                  ConfigurationReport& report,
                  bool& application_file_failed) {
  const std::string name = FileNameOf(executable_path);
  const std::string path = ConfigurationPath(settings.app_directory, name);
  const auto fault = [&report](const std::string&, const std::string& text) {
    Fault(report, text);
  };
  try {
    return LoadConfiguration(settings, name, fault, ConfigurationAccess::kReadOnly);
  } catch (const EInOutError& error) {
    Fault(report, error.what());
    application_file_failed = true;
    return std::string_view(error.what()).find(path) == std::string_view::npos;
  }
}

std::string ProxyText(const TSettings& s) {
  if (s.INTERNET_OPEN_TYPE == kAccessTypeDirect) return "none (direct)";
  if (s.INTERNET_OPEN_TYPE != kAccessTypeNamedProxy) return "the system's settings";
  std::string text = s.PROXY_SERVER.empty() ? "(none named)" : s.PROXY_SERVER;
  if (!s.PROXY_LOGIN.empty()) text += ", login " + s.PROXY_LOGIN;
  if (!s.PROXY_PASSWORD.empty()) text += ", password (set)";
  return text;
}

// A key set that cannot be used refuses every manifest, so no release is ever offered.
void ReportKeySet(const TSettings& s, ConfigurationReport& report) {
  if (s.release_public_key.empty()) return;
  const TKeySetReading reading = ReadKeySet(s.release_public_key, s.release_key_threshold);
  if (!reading.fault.empty()) return Fault(report, reading.fault);
  Say(report, "release keys: " + std::to_string(reading.key_set.keys.size()) + ", threshold " +
                  std::to_string(reading.key_set.threshold) + " (key set " +
                  KeySetId(reading.key_set) + ")");
}

void ReportSettings(const TSettings& s, ConfigurationReport& report) {
  Say(report, "app folder: " + s.app_directory);
  Say(report, "main program: " + ApplicationProgramPath(s));
  Say(report, "working directory: " + ApplicationWorkingDirectory(s));
  if (!s.check_release) {
    Say(report, "release check: off (check_release=0)");
    return;
  }
  Say(report, "application configuration: " + JoinToFolder(s.app_directory, s.filename_config));
  Say(report, "installed version: " + s.current_version);
  Say(report, "server_addr1: " + s.server_addr1);
  Say(report, "server_addr2: " + (s.server_addr2.empty() ? std::string("(none)") : s.server_addr2));
  Say(report, "proxy: " + ProxyText(s));
  Say(report, std::string("release key: ") + (s.release_public_key.empty() ? "not set" : "set"));
  ReportKeySet(s, report);
}

void CheckProgram(const TSettings& s, ConfigurationReport& report) {
  const std::string program = ApplicationProgramPath(s);
  const std::optional<FileStatus> status = QueryFile(program);
  if (s.main_program.empty()) {
    Fault(report, "main_program is empty");
  } else if (!status) {
    Fault(report, "main program " + program + " does not exist");
  } else if (status->is_dir || (status->unix_mode != 0 && !(status->unix_mode & kAnyExecuteBit))) {
    Fault(report, "main program " + program + " is not executable");
  }
  const std::optional<FileStatus> folder = QueryFile(ApplicationWorkingDirectory(s));
  if (!folder || !folder->is_dir) {
    Fault(report, "working directory " + ApplicationWorkingDirectory(s) + " does not exist");
  }
}

void CheckFolder(const TSettings& s, ConfigurationReport& report) {
  const std::optional<std::string> why = FolderWriteFault(s.app_directory);
  if (!why) return;
  const std::string line = "app folder " + s.app_directory + " cannot be written: " + *why;
  // An installation for all users is one: "Update now" asks for administrator rights.
  if (CanRunElevated()) return Say(report, line + "; upgrades ask for administrator rights");
  Fault(report, line);
}

// A version key missing from the file is appended by the first upgrade, where the
// application may never look for it.
void CheckApplicationFile(const TSettings& s, ConfigurationReport& report) {
  const std::string path = JoinToFolder(s.app_directory, s.filename_config);
  if (IsReadOnlyFile(path)) Fault(report, "application configuration " + path + " is read-only");
  if (s.param_appli_version.empty()) {
    Fault(report, "param_appli_version is empty");
    return;
  }
  constexpr char kAbsent[] = "\x01";
  const ProfileText text(ApplicationConfigurationText(s).value_or(""));
  if (text.ReadString(kOwnSection, s.param_appli_version, kAbsent) == kAbsent) {
    Fault(report, "param_appli_version: " + s.param_appli_version + " not found in [" +
                      kOwnSection + "] of " + path + "; the updater would append it");
  }
}

void AskServers(TSettings& s, const std::string& executable_path, ConfigurationReport& report) {
  if (s.server_addr1.empty()) Fault(report, "server_addr1 is empty");
  TManageCheck check(s, executable_path, nullptr);
  for (const std::string& server : {s.server_addr1, s.server_addr2}) {
    if (server.empty()) continue;
    const std::string url = s.release_public_key.empty()
                                ? ReleaseCheckUrl(server, s.link_for_update, s.name)
                                : ReleaseManifestUrl(server, s.link_for_update, s.name);
    if (check.AskServer(server)) {
      Say(report, url + ": release " + s.release_version + " of " + s.release_date);
    } else if (!check.ManifestRefusal().empty()) {
      Fault(report, url + ": " + check.ManifestRefusal() + " No release is offered.");
    } else {
      Fault(report, "no answer from " + url);
    }
  }
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t replaced = diagonal + (Folded(a[i - 1]) == Folded(b[j - 1]) ? 0 : 1);
      diagonal = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, replaced});
    }
  }
  return row[b.size()];
}

ConfigurationReport CheckConfiguration(const std::string& executable_path) {
  ConfigurationReport report;
  TSettings settings;
  settings.app_directory = FolderOf(executable_path);
  const std::string path = ConfigurationPath(settings.app_directory, FileNameOf(executable_path));
  Say(report, "configuration: " + path);
  bool application_file_failed = false;
  if (!ReadSettings(settings, executable_path, report, application_file_failed)) return report;
  ReportSettings(settings, report);
  CheckNames(path, report);
  CheckFolder(settings, report);
  CheckProgram(settings, report);
  if (!settings.check_release) return report;
  if (!application_file_failed) CheckApplicationFile(settings, report);
  AskServers(settings, executable_path, report);
  return report;
}

}  // namespace kestrova
