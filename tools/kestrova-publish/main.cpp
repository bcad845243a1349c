// kestrova-publish: signing keys, release publishing and checking for publishers.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check_folder.h"
#include "installer_script.h"
#include "key_file.h"
#include "manifest_commands.h"
#include "publish_release.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the command ran and failed, or check found errors
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kestrova-publish keygen --key FILE\n"
    "       kestrova-publish release --folder DIR --name NAME --from DIR --recipe FILE [--key FILE]...\n"
    "                                [--expires-days N] [--force] [--overwrite-configuration]\n"
    "                                [--previous VERSION]... [--delta-margin PERCENT]\n"
    "       kestrova-publish refresh --folder DIR --name NAME --key FILE... [--expires-days N]\n"
    "       kestrova-publish rotate-key --folder DIR --name NAME --key FILE... --next-key FILE...\n"
    "                                [--next-threshold N] [--expires-days N]\n"
    "       kestrova-publish check --folder DIR --name NAME [--public-key KEYS] [--threshold N]\n"
    "                              [--previous VERSION]\n"
    "       kestrova-publish installer --name NAME --version VERSION --from DIR --updater EXE\n"
    "                                  --configuration INI --output SETUP.EXE [--publisher TEXT] [--all-users]\n"
    "\n"
    "keygen   writes a new Ed25519 key pair into FILE (readable by you only) and prints\n"
    "         the line that goes under [server] in the updaters' configuration.\n"
    "release  publishes the content of --from as a new release of NAME in the publishing\n"
    "         folder DIR, as the recipe FILE describes it; signed with --key FILE.\n"
    "         --force publishes a version that does not count as newer.\n"
    "         --overwrite-configuration publishes *.ini files and the application's\n"
    "         configuration file (filename_config): they replace every user's copy.\n"
    "         Versions and download servers no updater would take are refused.\n"
    "         --previous VERSION (repeatable) also publishes a delta for updaters of\n"
    "         that earlier version, whose archive files/NAME-VERSION.zip DIR still\n"
    "         holds: only the files added or changed since, when that comes out at\n"
    "         least --delta-margin percent (default 50) smaller than the full release.\n"
    "         With keys it also writes the signed release manifest, manifest.ini (request 4),\n"
    "         signed by every --key (as many as the updaters' release_key_threshold), valid\n"
    "         for --expires-days (default 7) days.\n"
    "refresh  signs the manifest again with a higher sequence and a fresh expiry, the\n"
    "         release untouched: run it from a timer well within the expiry.\n"
    "rotate-key  writes a manifest that hands the updaters the key set of the --next-key\n"
    "         files (and --next-threshold, default 1), signed by the current --key files.\n"
    "check    checks the release of NAME in DIR: every release file present and intact,\n"
    "         the version and download servers usable, the signature against KEY (base64;\n"
    "         default: the release_key.pub that release wrote beside a signed release),\n"
    "         the version newer than --previous, and the manifest: signed by --threshold\n"
    "         (default 1) of KEYS (base64, \",\" between them), fresh, vouching for\n"
    "         what is published.\n"
    "installer  writes SETUP.EXE, a Windows setup program of NAME built with makensis: it\n"
    "         installs the content of --from, the updater EXE and its configuration INI\n"
    "         (per user; --all-users: into Program Files), makes the shortcuts start\n"
    "         the updater, registers an uninstaller and runs silently with /S.\n"
    "Options take their value as the next argument or after \"=\".\n"
    "Exit status: 0 success, 1 failure or errors found, 2 wrong usage.\n";

struct Arguments {
  std::string command;
  std::map<std::string, std::string> options;
  std::vector<std::string> keys;       // every --key, in order
  std::vector<std::string> next_keys;  // every --next-key
  std::vector<std::string> previous;   // every --previous
  bool force = false;
  bool overwrite_configuration = false;
  bool all_users = false;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kestrova-publish: %s\nTry 'kestrova-publish --help'.\n", message.c_str());
  return kExitUsage;
}

// Fills `args` from argv; an error text when the command line is wrong.
std::string ParseArguments(int argc, char** argv, Arguments& args) {
  static const char* const kValued[] = {
      "--folder",       "--name",         "--from",     "--recipe",    "--key",
      "--public-key",   "--previous",     "--delta-margin", "--expires-days", "--next-key",
      "--threshold",    "--next-threshold", "--version", "--updater",   "--configuration",
      "--output",       "--publisher"};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--all-users") {
      args.all_users = true;
      continue;
    }
    if (arg == "--force" || arg == "--overwrite-configuration") {
      (arg == "--force" ? args.force : args.overwrite_configuration) = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      if (!args.command.empty()) return "unexpected argument: " + arg;
      args.command = arg;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string option = arg.substr(0, equals);
    bool known = false;
    for (const char* valued : kValued) known = known || option == valued;
    if (!known) return "unknown option: " + option;
    if (equals != std::string::npos) {
      args.options[option] = arg.substr(equals + 1);
    } else if (i + 1 < argc) {
      args.options[option] = argv[++i];
    } else {
      return option + " needs a value";
    }
    if (option == "--key") args.keys.push_back(args.options[option]);
    if (option == "--next-key") args.next_keys.push_back(args.options[option]);
    if (option == "--previous") args.previous.push_back(args.options[option]);
  }
  return {};
}

std::string Missing(const Arguments& args, std::initializer_list<const char*> required) {
  for (const char* option : required) {
    if (!args.options.contains(option) || args.options.at(option).empty()) return args.command + " needs " + option;
  }
  return {};
}

int Keygen(const Arguments& args) {
  const std::string& path = args.options.at("--key");
  const auto keys = kestrova::GenerateReleaseKeyPair();
  if (!keys) return std::fputs("kestrova-publish: no key pair could be generated\n", stderr), kExitFailure;
  if (!kestrova::WriteKeyFile(path, *keys)) {
    std::fprintf(stderr, "kestrova-publish: cannot create %s (an existing key is never overwritten)\n", path.c_str());
    return kExitFailure;
  }
  std::printf("%s\n", kestrova::PublicKeyLine(keys->public_key).c_str());
  return kExitOk;
}

// Every key file of `paths`; false, having said which, when one is not a key file.
bool ReadKeyFiles(const std::vector<std::string>& paths, std::vector<kestrova::TReleaseKeyPair>& keys) {
  for (const std::string& path : paths) {
    auto pair = kestrova::ReadKeyFile(path);
    if (!pair) {
      std::fprintf(stderr, "kestrova-publish: %s is not a readable key file\n", path.c_str());
      return false;
    }
    keys.push_back(std::move(*pair));
  }
  return true;
}

// A whole number option; `fallback` when absent, nothing when it is not a number of
// at least `least`.
std::optional<int> NumberOption(const Arguments& args, const char* name, int fallback, int least = 0) {
  if (!args.options.contains(name)) return fallback;
  const std::string& text = args.options.at(name);
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) < least) {
    const std::string bound = least > 0 ? ", at least " + std::to_string(least) : "";
    std::fprintf(stderr, "kestrova-publish: %s needs a whole number%s\n", name, bound.c_str());
    return std::nullopt;
  }
  return std::stoi(text);
}

int Report(const std::string& error, const std::vector<std::string>& notes) {
  for (const std::string& note : notes) std::fprintf(stderr, "kestrova-publish: %s\n", note.c_str());
  if (error.empty()) return kExitOk;
  std::fprintf(stderr, "kestrova-publish: %s\n", error.c_str());
  return kExitFailure;
}

// What refresh and rotate-key share with the manifest that release writes.
std::optional<kestrova::TManifestRequest> ManifestRequest(const Arguments& args) {
  kestrova::TManifestRequest request;
  request.folder = args.options.at("--folder");
  request.name = args.options.at("--name");
  // Refused here, before release publishes anything that its manifest would not vouch for.
  const auto days = NumberOption(args, "--expires-days", kestrova::kDefaultExpiryDays, 1);
  const auto threshold = NumberOption(args, "--next-threshold", 1);
  std::vector<kestrova::TReleaseKeyPair> next;
  if (!days || !threshold || !ReadKeyFiles(args.keys, request.keys) || !ReadKeyFiles(args.next_keys, next)) {
    return std::nullopt;
  }
  request.expires_days = *days;
  request.next_threshold = *threshold;
  for (const auto& pair : next) request.next_keys.push_back(pair.public_key);
  return request;
}

int Release(const Arguments& args) {
  kestrova::TPublishRequest request{args.options.at("--folder"), args.options.at("--name"),
                                    args.options.at("--from"), args.options.at("--recipe"),
                                    std::nullopt, args.force, args.overwrite_configuration, args.previous};
  if (args.options.contains("--delta-margin")) {
    const auto margin = NumberOption(args, "--delta-margin", 0);
    if (!margin || *margin > 99) return UsageError("--delta-margin takes a percentage from 0 to 99");
    request.delta_margin = *margin;
  }
  const auto manifest = ManifestRequest(args);
  if (!manifest) return kExitFailure;
  // The first key signs the action list; all of them sign the manifest.
  if (!manifest->keys.empty()) request.keys = manifest->keys.front();
  std::vector<std::string> notes;
  std::string error = kestrova::PublishRelease(request, notes);
  if (error.empty() && !manifest->keys.empty()) error = kestrova::WriteReleaseManifest(*manifest, notes);
  return Report(error, notes);
}

int Refresh(const Arguments& args, bool rotate) {
  const auto request = ManifestRequest(args);
  if (!request) return kExitFailure;
  std::vector<std::string> notes;
  const std::string error =
      rotate ? kestrova::RotateManifestKeys(*request, notes) : kestrova::RefreshManifest(*request, notes);
  return Report(error, notes);
}

int Check(const Arguments& args) {
  auto option = [&](const char* name) { return args.options.contains(name) ? args.options.at(name) : std::string(); };
  const kestrova::TCheckRequest request{option("--folder"), option("--name"), option("--public-key"),
                                        option("--previous")};
  const auto threshold = NumberOption(args, "--threshold", 1);
  if (!threshold) return kExitUsage;
  kestrova::TCheckReport report = kestrova::CheckPublishedRelease(request);
  const std::string keys = kestrova::VerifyingKeys(request);
  if (!keys.empty()) kestrova::CheckReleaseManifest(request, keys, *threshold, report);
  for (const std::string& error : report.errors) std::printf("error: %s\n", error.c_str());
  for (const std::string& warning : report.warnings) std::printf("warning: %s\n", warning.c_str());
  if (!report.errors.empty()) return kExitFailure;
  std::printf("ok\n");
  return kExitOk;
}

int Installer(const Arguments& args) {
  const auto& o = args.options;
  const std::string publisher = o.contains("--publisher") ? o.at("--publisher") : std::string();
  const std::string error = kestrova::BuildInstaller({o.at("--name"), o.at("--version"), o.at("--from"),
                                                      o.at("--updater"), o.at("--configuration"), o.at("--output"),
                                                      publisher, args.all_users});
  return Report(error, {});
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return std::fputs(kUsage, stdout), kExitOk;
    // Alone: "installer" takes a --version of its own.
    if (arg == "--version" && argc == 2) return std::puts("kestrova-publish " KESTROVA_VERSION), kExitOk;
  }
  Arguments args;
  if (const std::string error = ParseArguments(argc, argv, args); !error.empty()) return UsageError(error);
  std::string missing;
  if (args.command == "keygen") {
    missing = Missing(args, {"--key"});
    if (missing.empty()) return Keygen(args);
  } else if (args.command == "release") {
    missing = Missing(args, {"--folder", "--name", "--from", "--recipe"});
    if (missing.empty()) return Release(args);
  } else if (args.command == "refresh" || args.command == "rotate-key") {
    missing = Missing(args, {"--folder", "--name", "--key"});
    if (missing.empty()) return Refresh(args, args.command == "rotate-key");
  } else if (args.command == "check") {
    missing = Missing(args, {"--folder", "--name"});
    if (missing.empty()) return Check(args);
  } else if (args.command == "installer") {
    missing = Missing(args, {"--name", "--version", "--from", "--updater", "--configuration", "--output"});
    if (missing.empty()) return Installer(args);
  } else {
    missing = args.command.empty() ? "no command given" : "unknown command: " + args.command;
  }
  return UsageError(missing);
}
