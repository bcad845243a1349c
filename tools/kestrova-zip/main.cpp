// kestrova-zip: creates, extracts, lists and tests ZIP archives with ZipArchiver.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"

namespace {

constexpr char kUsage[] =
    "usage: kestrova-zip [--level N] add ARCHIVE BASEDIR MASK...\n"
    "       kestrova-zip extract ARCHIVE BASEDIR [MASK...]\n"
    "       kestrova-zip list ARCHIVE\n"
    "       kestrova-zip test ARCHIVE\n"
    "Masks are taken relative to BASEDIR; \"*.*\" selects everything.\n"
    "--level N: deflate level 0 (store) to 9 (smallest, the default).\n";

int UsageError(const char* message) {
  if (message) std::fprintf(stderr, "kestrova-zip: %s\n", message);
  std::fputs(kUsage, stderr);
  return kestrova::kExitError;
}

bool ParseLevel(const std::string& text, int& level) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return false;
  level = text[0] - '0';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int level = 9;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kestrova::kExitOk;
    } else if (arg == "--level" || arg.rfind("--level=", 0) == 0) {
      const std::string value = arg == "--level" ? (i + 1 < argc ? argv[++i] : "") : arg.substr(8);
      if (!ParseLevel(value, level)) return UsageError("--level takes a number from 0 to 9");
    } else {
      args.push_back(arg);
    }
  }
  if (args.empty()) return UsageError(nullptr);
  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "add") {
    if (rest.size() < 3) return UsageError("add needs ARCHIVE, BASEDIR and at least one MASK");
    return kestrova::AddCommand(rest[0], rest[1], {rest.begin() + 2, rest.end()}, level);
  }
  if (command == "extract") {
    if (rest.size() < 2) return UsageError("extract needs ARCHIVE and BASEDIR");
    return kestrova::ExtractCommand(rest[0], rest[1], {rest.begin() + 2, rest.end()});
  }
  if (command == "list" && rest.size() == 1) return kestrova::ListCommand(rest[0]);
  if (command == "test" && rest.size() == 1) return kestrova::TestCommand(rest[0]);
  return UsageError(("unknown command or wrong arguments: " + command).c_str());
}
