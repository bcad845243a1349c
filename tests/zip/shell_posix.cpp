// Running peer tools through the shell, for the tests that compare with them.
#include <sys/wait.h>

#include <cstdio>

#include "zip_test_support.h"

namespace kestrova::testing {

int Shell(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  while (const size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunPython(const fs::path& folder, const std::string& script, const std::string& args,
              std::string* output) {
  const fs::path file = folder / "script.py";
  WriteFile(file, script);
  return Shell("python3 " + Quote(file) + " " + args, output);
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace kestrova::testing
