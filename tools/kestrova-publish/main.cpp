// kestrova-publish: signing keys, release publishing and checking for publishers.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check_folder.h"
#include "installer_script.h"
#include "key_file.h"
#include "publish_release.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the command ran and failed, or check found errors
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: kestrova-publish keygen --key FILE\n"
    "       kestrova-publish release --folder DIR --name NAME --from DIR --recipe FILE [--key FILE] [--force]\n"
    "                                [--overwrite-configuration] [--previous VERSION]... [--delta-margin PERCENT]\n"
    "       kestrova-publish check --folder DIR --name NAME [--public-key KEY] [--previous VERSION]\n"
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
    "check    checks the release of NAME in DIR: every release file present and intact,\n"
    "         the version and download servers usable, the signature against KEY (base64;\n"
    "         default: the release_key.pub that release wrote beside a signed release),\n"
    "         the version newer than --previous.\n"
    "installer  writes SETUP.EXE, a Windows setup program of NAME built with makensis: it\n"
    "         installs the content of --from, the updater EXE and its configuration INI\n"
    "         (per user; --all-users: into Program Files), makes the shortcuts start\n"
    "         the updater, registers an uninstaller and runs silently with /S.\n"
    "Options take their value as the next argument or after \"=\".\n"
    "Exit status: 0 success, 1 failure or errors found, 2 wrong usage.\n";

struct Arguments {
  std::string command;
  std::map<std::string, std::string> options;
  std::vector<std::string> previous;  // every --previous, in order
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
  static const char* const kValued[] = {"--folder", "--name", "--from", "--recipe", "--key", "--public-key", "--previous",
                                       "--delta-margin", "--version", "--updater", "--configuration", "--output",
                                       "--publisher"};
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
    if (equals == std::string::npos && i + 1 >= argc) return option + " needs a value";
    args.options[option] = equals != std::string::npos ? arg.substr(equals + 1) : argv[++i];
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

// A whole number of percent below 100; nothing for anything else.
std::optional<int> Percent(const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoi(text);
}

int Release(const Arguments& args) {
  kestrova::TPublishRequest request{args.options.at("--folder"), args.options.at("--name"),
                                    args.options.at("--from"), args.options.at("--recipe"),
                                    std::nullopt, args.force, args.overwrite_configuration, args.previous};
  if (args.options.contains("--delta-margin")) {
    const auto margin = Percent(args.options.at("--delta-margin"));
    if (!margin) return UsageError("--delta-margin takes a percentage from 0 to 99");
    request.delta_margin = *margin;
  }
  if (args.options.contains("--key")) {
    request.keys = kestrova::ReadKeyFile(args.options.at("--key"));
    if (!request.keys) {
      std::fprintf(stderr, "kestrova-publish: %s is not a readable key file\n", args.options.at("--key").c_str());
      return kExitFailure;
    }
  }
  std::vector<std::string> notes;
  const std::string error = kestrova::PublishRelease(request, notes);
  for (const std::string& note : notes) std::fprintf(stderr, "kestrova-publish: %s\n", note.c_str());
  if (error.empty()) return kExitOk;
  std::fprintf(stderr, "kestrova-publish: %s\n", error.c_str());
  return kExitFailure;
}

int Check(const Arguments& args) {
  auto option = [&](const char* name) { return args.options.contains(name) ? args.options.at(name) : std::string(); };
  const kestrova::TCheckReport report = kestrova::CheckPublishedRelease(
      {option("--folder"), option("--name"), option("--public-key"), option("--previous")});
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
  if (error.empty()) return kExitOk;
  std::fprintf(stderr, "kestrova-publish: %s\n", error.c_str());
  return kExitFailure;
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
