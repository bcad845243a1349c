// The process-wide settings record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {

/// Everything the updater knows about its configuration, the installed version and
/// the release on offer. One instance lives for the whole process and is written
/// only on the GUI thread. Fields are named after the configuration keys.
struct TSettings {
  std::string app_directory;  // the updater's folder, ending in a separator
  /// The arguments the updater was started with (a desktop entry's files, say),
  /// passed on to the application after program_parameters.
  std::vector<std::string> updater_arguments;

  // [application] of the updater's configuration file
  bool check_release = false;
  std::string name;
  std::string main_program;
  std::string main_directory;
  std::string program_parameters;
  int32_t process_priority = 0;
  std::string filename_config;
  std::string param_email;
  std::string param_appli_version;

  // the application's own configuration file, section [Kestrova]
  std::string email;
  std::string current_version;

  // [server]
  std::string server_addr1;
  std::string server_addr2;
  int32_t internet_option_connect_timeout = 0;
  int32_t INTERNET_OPEN_TYPE = 0;
  std::string PROXY_SERVER;
  std::string PROXY_LOGIN;
  std::string PROXY_PASSWORD;
  std::string link_for_update;
  /// Base64 Ed25519 public keys, separated by ","; when set, the release check asks
  /// for the signed release manifest, and only signed action lists and release files
  /// matching their signed hashes are installed.
  std::string release_public_key;
  /// Hours between two answered release checks; 0 asks at every start.
  int32_t check_interval = 0;
  /// Starts the application at once and asks the servers after it, without a window;
  /// a newer release found is offered at the next start.
  bool check_in_background = false;
  /// How many distinct keys of release_public_key must sign a release manifest.
  int32_t release_key_threshold = 1;

  // filled by the release check
  std::string selected_server;
  std::string release_version;
  std::string release_date;

  /// Filled by the release check from the manifest it accepted (when a key is
  /// configured): what the main window may show and fetch.
  struct TVouchedRelease {
    std::string description_sha256;
    int64_t description_size = 0;
    /// SHA-256 and size of every action list the release publishes.
    std::vector<std::pair<std::string, int64_t>> action_lists;
    /// The keys an action list's own signature may come from (base64): the configured,
    /// the trusted and the next set, since the manifest's digest already binds the list.
    std::vector<std::string> keys;
  };
  std::optional<TVouchedRelease> vouched_release;

  // filled from the action list during an upgrade
  std::string download_server_adr1;
  std::string download_server_adr2;
  std::string filedir;
};

}  // namespace kestrova
