#include "app/manage_check.h"

#include "base/files.h"

namespace kestrova {
namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }
std::string FileNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

TManageCheck::TManageCheck(TSettings& settings, std::string executable_path, ErrorReporter report)
    : settings_(settings), executable_path_(std::move(executable_path)), report_(std::move(report)) {}

TManageCheck::~TManageCheck() = default;

bool TManageCheck::ReleaseCheck() {
  settings_.app_directory = FolderOf(executable_path_);
  if (!LoadConfiguration(settings_, FileNameOf(executable_path_), report_)) return false;
  if (!settings_.check_release) return false;
  // No server is asked yet: the check counts as unanswered.
  return false;
}

}  // namespace kestrova
