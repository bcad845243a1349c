// The commands of kestrova-zip; each returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace kestrova {

/// Exit codes: 0 success, 1 some entries failed, 2 the operation could not run.
inline constexpr int kExitOk = 0;
inline constexpr int kExitEntriesFailed = 1;
inline constexpr int kExitError = 2;

/// How `add` treats the archive it is given.
struct AddOptions {
  int level = 9;
  /// Start a new archive instead of updating an existing one; the old one is
  /// replaced only once the new one is complete.
  bool fresh = false;
};

int AddCommand(const std::string& archive, const std::string& base_dir,
               const std::vector<std::string>& masks, const AddOptions& options);
int ExtractCommand(const std::string& archive, const std::string& base_dir,
                   const std::vector<std::string>& masks);
int ListCommand(const std::string& archive);
int TestCommand(const std::string& archive);

}  // namespace kestrova
