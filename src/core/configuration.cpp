#include "core/configuration.h"

#include <optional>

#include "base/files.h"
#include "base/ini.h"
#include "base/text.h"

namespace kestrova {
namespace {

constexpr char kApplication[] = "application";
constexpr char kServer[] = "server";
constexpr int32_t kAccessTypeNamedProxy = 3;

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

// The leftovers of a write that was killed go before the file is read.
void PrepareConfigurationFile(const std::string& path) {
  RemoveReplaceLeftovers(path);
  RequireConfigurationFile(path);
}

void ReadApplicationSection(const IniFile& ini, TSettings& s) {
  s.check_release = ini.ReadBool(kApplication, "check_release", true);
  s.name = ini.ReadString(kApplication, "name", "");
  s.main_program = ini.ReadString(kApplication, "main_program", "");
  s.main_directory = ini.ReadString(kApplication, "main_directory", "");
  s.program_parameters = ini.ReadString(kApplication, "program_parameters", "");
  // The key is looked up with its trailing blank; key names are matched trimmed,
  // so "process_priority=3" supplies it.
  s.process_priority = ini.ReadInteger(kApplication, "process_priority ", 2);
}

// Puts "[Kestrova]" in front of the application's file so that the keys it keeps
// at the top become readable as that section. The previous bytes follow unchanged,
// and the file is replaced in one step so that a failure cannot cost the
// application its settings.
void InsertOwnSectionMarker(const std::string& path) {
  auto content = ReadWholeFile(path);
  if (!content) throw EInOutError("The file: " + path + " cannot be read.");
  if (IsReadOnlyFile(path)) throw EInOutError("The file: " + path + " is read-only.");
  // After a byte order mark, which only counts at the very start of the file.
  const size_t at =
      std::string_view(*content).starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  content->insert(at, "[" + std::string(kOwnSection) + "]\r\n");
  if (!ReplaceFileSafely(path, *content)) {
    throw EInOutError("The file: " + path + " cannot be written.");
  }
}

void ReadApplicationConfiguration(TSettings& s) {
  if (s.filename_config.empty()) {
    throw EInOutError("No application configuration file is named (filename_config).");
  }
  const std::string path = JoinToFolder(s.app_directory, s.filename_config);
  PrepareConfigurationFile(path);
  if (!IniFile(path).SectionExists(kOwnSection)) InsertOwnSectionMarker(path);
  const IniFile file(path);
  s.email = file.ReadString(kOwnSection, s.param_email, "");
  s.current_version = file.ReadString(kOwnSection, s.param_appli_version, "1.0");
}

void ReadServerSection(const IniFile& ini, TSettings& s) {
  s.server_addr1 = ini.ReadString(kServer, "server_addr1", "");
  s.server_addr2 = ini.ReadString(kServer, "server_addr2", "");
  s.internet_option_connect_timeout = ini.ReadInteger(kServer, "internet_option_connect_timeout", 5);
  s.INTERNET_OPEN_TYPE = ini.ReadInteger(kServer, "INTERNET_OPEN_TYPE", 0);
  s.PROXY_SERVER = ini.ReadString(kServer, "PROXY_SERVER", "");
  s.PROXY_LOGIN = ini.ReadString(kServer, "PROXY_LOGIN", "");
  s.PROXY_PASSWORD = ini.ReadString(kServer, "PROXY_PASSWORD", "");
  if (s.INTERNET_OPEN_TYPE != kAccessTypeNamedProxy) {
    s.PROXY_SERVER.clear();
    s.PROXY_LOGIN.clear();
    s.PROXY_PASSWORD.clear();
  }
  s.link_for_update = ini.ReadString(kServer, "link_for_update", "");
  s.release_public_key = ini.ReadString(kServer, "release_public_key", "");
}

}  // namespace

std::string ConfigurationPath(const std::string& app_directory, const std::string& executable_name) {
  const size_t dot = executable_name.rfind('.');
  return app_directory + executable_name.substr(0, dot) + ".ini";
}

bool LoadConfiguration(TSettings& settings, const std::string& executable_name,
                       const ErrorReporter& report) {
  const std::string path = ConfigurationPath(settings.app_directory, executable_name);
  if (!FileExists(path)) {
    if (report) report("Error", MissingFileMessage(path));
    return false;
  }
  PrepareConfigurationFile(path);
  const IniFile ini(path);
  ReadApplicationSection(ini, settings);
  if (!settings.check_release) return true;
  settings.filename_config = ini.ReadString(kApplication, "filename_config", "");
  settings.param_email = ini.ReadString(kApplication, "param_email", "");
  settings.param_appli_version = ini.ReadString(kApplication, "param_appli_version", "");
  ReadApplicationConfiguration(settings);
  ReadServerSection(ini, settings);
  return true;
}

bool UpdateInstalledVersion(const TSettings& settings) {
  if (settings.filename_config.empty()) return false;
  const std::string path = JoinToFolder(settings.app_directory, settings.filename_config);
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

}  // namespace kestrova
