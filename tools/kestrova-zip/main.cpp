// kestrova-zip: creates, extracts, lists and tests ZIP archives with ZipArchiver.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "terminal.h"

namespace {

constexpr char kUsage[] =
    "usage: kestrova-zip [--level N] [--new] add ARCHIVE BASEDIR MASK...\n"
    "       kestrova-zip extract ARCHIVE BASEDIR [MASK...]\n"
    "       kestrova-zip list ARCHIVE\n"
    "       kestrova-zip test ARCHIVE\n"
    "\n"
    "add      adds the files MASK selects under BASEDIR. An existing ARCHIVE is\n"
    "         updated, as zip does: its other entries stay, and entries of the same\n"
    "         name are replaced. Links to files and folders are followed.\n"
    "extract  extracts the entries MASK selects (all without a MASK) into BASEDIR.\n"
    "list     lists the entries with their permissions, sizes, dates and CRC-32.\n"
    "test     checks every entry and the archive's structure.\n"
    "\n"
    "Masks are taken relative to BASEDIR; \"*\" and \"?\" are wildcards, \"*.*\"\n"
    "selects everything, and a mask without a folder part searches subfolders too.\n"
    "Quote masks so that the shell leaves them alone.\n"
    "\n"
    "Options:\n"
    "  --level N   deflate level 0 (store) to 9 (smallest, the default)\n"
    "  --new       start a new ARCHIVE instead of updating it; the old one is\n"
    "              replaced once the new one is complete\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 done, 1 some entries failed or a mask matched no entry,\n"
    "2 the command could not run (nothing was changed).\n";

int UsageError(const std::string& message) {
  if (!message.empty()) std::fprintf(stderr, "kestrova-zip: %s\n", message.c_str());
  std::fputs("Try kestrova-zip --help\n", stderr);
  return kestrova::kExitError;
}

bool ParseLevel(const std::string& text, int& level) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return false;
  level = text[0] - '0';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> argv_utf8 = kestrova::CommandLineArguments(argc, argv);
  argc = static_cast<int>(argv_utf8.size());
  kestrova::AddOptions add_options;
  std::vector<std::string> args;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv_utf8[i];
    if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
      args.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kestrova::kExitOk;
    } else if (arg == "--version") {
      std::puts("kestrova-zip " KESTROVA_VERSION);
      return kestrova::kExitOk;
    } else if (arg == "--new") {
      add_options.fresh = true;
    } else if (arg == "--level" || arg.rfind("--level=", 0) == 0) {
      const std::string value = arg == "--level" ? (i + 1 < argc ? argv_utf8[++i] : "") : arg.substr(8);
      if (!ParseLevel(value, add_options.level)) return UsageError("--level takes a number from 0 to 9");
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (args.empty()) return UsageError("");
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "add") {
    if (rest.size() < 3) return UsageError("add needs ARCHIVE, BASEDIR and at least one MASK");
    return kestrova::AddCommand(rest[0], rest[1], {rest.begin() + 2, rest.end()}, add_options);
  }
  if (command == "extract") {
    if (rest.size() < 2) return UsageError("extract needs ARCHIVE and BASEDIR");
    return kestrova::ExtractCommand(rest[0], rest[1], {rest.begin() + 2, rest.end()});
  }
  if ((command == "list" || command == "test") && rest.size() != 1) {
    return UsageError(command + " needs exactly one ARCHIVE");
  }
  if (command == "list") return kestrova::ListCommand(rest[0]);
  if (command == "test") return kestrova::TestCommand(rest[0]);
  return UsageError("unknown command " + command);
}
