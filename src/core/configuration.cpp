#include "core/configuration.h"

#include <optional>
#include <variant>

#include "base/files.h"
#include "base/ini.h"
#include "base/profile_text.h"
#include "base/text.h"

namespace kestrova {
namespace {

constexpr char kApplication[] = "application";
constexpr char kServer[] = "server";
constexpr int32_t kAccessTypeNamedProxy = 3;

// Which part of a start reads a key: the launcher's keys always, the others only
// with check_release on.
enum class KeyGroup { kLauncher, kCheck, kServer };

struct KeyReader {
  KeyGroup group;
  const char* key;
  std::variant<std::string TSettings::*, int32_t TSettings::*, bool TSettings::*> field;
  int32_t fallback = 0;  // for integers and flags; texts fall back to empty
};

// Every key of the updater's configuration file: what reads them and what checks a
// file for misspelt names.
const KeyReader kKeyReaders[] = {
    {KeyGroup::kLauncher, "check_release", &TSettings::check_release, 1},
    {KeyGroup::kLauncher, "name", &TSettings::name},
    {KeyGroup::kLauncher, "main_program", &TSettings::main_program},
    {KeyGroup::kLauncher, "main_directory", &TSettings::main_directory},
    {KeyGroup::kLauncher, "program_parameters", &TSettings::program_parameters},
    // The key is looked up with its trailing blank; key names are matched trimmed,
    // so "process_priority=3" supplies it.
    {KeyGroup::kLauncher, "process_priority ", &TSettings::process_priority, 2},
    {KeyGroup::kCheck, "filename_config", &TSettings::filename_config},
    {KeyGroup::kCheck, "param_email", &TSettings::param_email},
    {KeyGroup::kCheck, "param_appli_version", &TSettings::param_appli_version},
    {KeyGroup::kServer, "server_addr1", &TSettings::server_addr1},
    {KeyGroup::kServer, "server_addr2", &TSettings::server_addr2},
    {KeyGroup::kServer, "internet_option_connect_timeout",
     &TSettings::internet_option_connect_timeout, 5},
    {KeyGroup::kServer, "INTERNET_OPEN_TYPE", &TSettings::INTERNET_OPEN_TYPE, 0},
    {KeyGroup::kServer, "PROXY_SERVER", &TSettings::PROXY_SERVER},
    {KeyGroup::kServer, "PROXY_LOGIN", &TSettings::PROXY_LOGIN},
    {KeyGroup::kServer, "PROXY_PASSWORD", &TSettings::PROXY_PASSWORD},
    {KeyGroup::kServer, "link_for_update", &TSettings::link_for_update},
    {KeyGroup::kServer, "release_public_key", &TSettings::release_public_key},
    {KeyGroup::kServer, "release_key_threshold", &TSettings::release_key_threshold, 1},
    // How often a start asks, and whether it waits for the answer.
    {KeyGroup::kServer, "check_interval", &TSettings::check_interval, 0},
    {KeyGroup::kServer, "check_in_background", &TSettings::check_in_background, 0},
};

const char* SectionOf(KeyGroup group) { return group == KeyGroup::kServer ? kServer : kApplication; }

void ReadKey(const IniFile& ini, const KeyReader& reader, TSettings& s) {
  const char* section = SectionOf(reader.group);
  if (auto text = std::get_if<std::string TSettings::*>(&reader.field)) {
    s.**text = ini.ReadString(section, reader.key, "");
  } else if (auto number = std::get_if<int32_t TSettings::*>(&reader.field)) {
    s.**number = ini.ReadInteger(section, reader.key, reader.fallback);
  } else {
    s.*std::get<bool TSettings::*>(reader.field) =
        ini.ReadBool(section, reader.key, reader.fallback != 0);
  }
}

void ReadKeys(const IniFile& ini, KeyGroup group, TSettings& s) {
  for (const KeyReader& reader : kKeyReaders) {
    if (reader.group == group) ReadKey(ini, reader, s);
  }
}

void ClearUnusedProxy(TSettings& s) {
  if (s.INTERNET_OPEN_TYPE == kAccessTypeNamedProxy) return;
  s.PROXY_SERVER.clear();
  s.PROXY_LOGIN.clear();
  s.PROXY_PASSWORD.clear();
}

std::string MissingFileMessage(const std::string& path) {
  return "The file: " + path + " is missing! Impossible to run the software.";
}

// A configuration path that leads to a pipe, a device or megabytes of something else
// is refused with its name and the reason, before anything waits on it or takes it
// in. Missing and unreadable files go on to the messages of their own.
std::optional<std::string> ConfigurationRefusal(const std::string& path) {
  FileRefusal refusal = FileRefusal::kNone;
  ReadRegularFile(path, kMaxConfigurationSize, refusal);
  if (refusal != FileRefusal::kNotRegular && refusal != FileRefusal::kTooLarge) return std::nullopt;
  return "The file: " + RefusalText(path, refusal, kMaxConfigurationSize) + ".";
}

void RequireConfigurationFile(const std::string& path) {
  if (auto refusal = ConfigurationRefusal(path)) throw EInOutError(*refusal);
}

// The leftovers of a write that was killed go before the file is read; a read-only
// look leaves them to the next start.
void PrepareConfigurationFile(const std::string& path, ConfigurationAccess access) {
  if (access == ConfigurationAccess::kPrepare) RemoveReplaceLeftovers(path);
  RequireConfigurationFile(path);
}

// The profile functions would read UTF-16 as text of single bytes and find neither a
// section nor a key in it.
bool IsUtf16Text(const std::string& content) {
  return content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF") ||
         content.find('\0') != std::string::npos;
}

void RequireReadableUpdaterConfiguration(const std::string& path, const IniFile& ini) {
  const auto content = ReadWholeFile(path);
  if (content && IsUtf16Text(*content)) {
    throw EInOutError(path + " is UTF-16 text; save it as UTF-8 or ANSI");
  }
  if (!ini.SectionExists(kApplication)) throw EInOutError(path + " has no [application] section");
}

std::string WithOwnSectionMarker(std::string content) {
  // After a byte order mark, which only counts at the very start of the file.
  const size_t at =
      std::string_view(content).starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  content.insert(at, "[" + std::string(kOwnSection) + "]\r\n");
  return content;
}

// Puts "[Kestrova]" in front of the application's file so that the keys it keeps
// at the top become readable as that section. The previous bytes follow unchanged,
// and the file is replaced in one step so that a failure cannot cost the
// application its settings. A read-only look raises what the insertion would, and
// writes nothing.
void InsertOwnSectionMarker(const std::string& path, ConfigurationAccess access) {
  auto content = ReadWholeFile(path);
  if (!content) throw EInOutError("The file: " + path + " cannot be read.");
  if (IsReadOnlyFile(path)) throw EInOutError("The file: " + path + " is read-only.");
  if (access == ConfigurationAccess::kReadOnly) return;
  if (!ReplaceFileSafely(path, WithOwnSectionMarker(std::move(*content)))) {
    throw EInOutError("The file: " + path + " cannot be written.");
  }
}

std::string ApplicationConfigurationPath(const TSettings& s) {
  return JoinToFolder(s.app_directory, s.filename_config);
}

// Reads through an IniFile or a ProfileText, which follow the same rules.
template <class Reader>
void ReadOwnSection(const Reader& file, TSettings& s) {
  s.email = file.ReadString(kOwnSection, s.param_email, "");
  s.current_version = file.ReadString(kOwnSection, s.param_appli_version, "1.0");
}

void ReadApplicationConfiguration(TSettings& s, ConfigurationAccess access) {
  if (s.filename_config.empty()) {
    throw EInOutError("No application configuration file is named (filename_config).");
  }
  const std::string path = ApplicationConfigurationPath(s);
  PrepareConfigurationFile(path, access);
  if (!IniFile(path).SectionExists(kOwnSection)) InsertOwnSectionMarker(path, access);
  // A read-only look reads the text a start would have written.
  if (access == ConfigurationAccess::kReadOnly) {
    ReadOwnSection(ProfileText(ApplicationConfigurationText(s).value_or("")), s);
  } else {
    ReadOwnSection(IniFile(path), s);
  }
}

}  // namespace

std::vector<ConfigurationKey> ConfigurationKeys() {
  std::vector<ConfigurationKey> keys;
  for (const KeyReader& reader : kKeyReaders) {
    keys.push_back({SectionOf(reader.group), std::string(TrimBlanks(reader.key))});
  }
  return keys;
}

std::string ConfigurationPath(const std::string& app_directory, const std::string& executable_name) {
  const size_t dot = executable_name.rfind('.');
  return app_directory + executable_name.substr(0, dot) + ".ini";
}

bool LoadConfiguration(TSettings& settings, const std::string& executable_name,
                       const ErrorReporter& report, ConfigurationAccess access) {
  const std::string path = ConfigurationPath(settings.app_directory, executable_name);
  if (!FileExists(path)) {
    if (report) report("Error", MissingFileMessage(path));
    return false;
  }
  PrepareConfigurationFile(path, access);
  const IniFile ini(path);
  RequireReadableUpdaterConfiguration(path, ini);
  ReadKeys(ini, KeyGroup::kLauncher, settings);
  if (!settings.check_release) return true;
  ReadKeys(ini, KeyGroup::kCheck, settings);
  ReadKeys(ini, KeyGroup::kServer, settings);
  ClearUnusedProxy(settings);
  ReadApplicationConfiguration(settings, access);
  return true;
}

std::optional<std::string> ApplicationConfigurationText(const TSettings& settings) {
  const std::string path = ApplicationConfigurationPath(settings);
  FileRefusal refusal = FileRefusal::kNone;
  auto content = ReadRegularFile(path, kMaxConfigurationSize, refusal);
  if (!content || ProfileText(*content).SectionExists(kOwnSection)) return content;
  return WithOwnSectionMarker(std::move(*content));
}

bool UpdateInstalledVersion(const TSettings& settings) {
  if (settings.filename_config.empty()) return false;
  const std::string path = ApplicationConfigurationPath(settings);
  if (ConfigurationRefusal(path)) return false;
  IniFile file(path);
  return file.WriteString(kOwnSection, settings.param_appli_version, settings.release_version);
}

bool IsNewerRelease(const std::string& release_version, const std::string& current_version) {
  const size_t common = std::min(release_version.size(), current_version.size());
  for (size_t i = 0; i < common; ++i) {
    const auto r = static_cast<unsigned char>(release_version[i]);
    const auto c = static_cast<unsigned char>(current_version[i]);
    if (r != c) return r > c;
  }
  return release_version.size() > current_version.size();
}

bool IsReleaseVersion(std::string_view version) {
  constexpr size_t kLongest = 64;
  if (version.empty() || version.size() > kLongest) return false;
  for (char c : version) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '.' && c != '-' && c != '_' && c != '+') return false;
  }
  return true;
}

}  // namespace kestrova
