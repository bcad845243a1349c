// The two upgrade steps that touch the installed files: saving what the action list
// names before anything changes, and installing the release archives.
#include <exception>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "ui/application.h"
#include "upgrade/form_main_screen.h"
#include "zip/archive_check.h"
#include "zip/form_zip_progress.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr char kNoReleaseFile[] = "The action list names no release file";

}  // namespace

std::string GetTempDirectory() { return TemporaryDirectory(); }

bool TFormMainScreen::SaveCurrentVersion(const std::vector<std::string>& paths) {
  try {
    const std::string archive_path = JoinPath(GetTempDirectory(), settings_.name + "_save.zip");
    RemoveFile(archive_path);
    ZipArchiver archiver;
    archiver.FileName = Utf8ToUtf16(archive_path);
    archiver.Open(fmCreate);
    archiver.SetCompressionLevel(clMax);
    archiver.BaseDir = Utf8ToUtf16(settings_.app_directory);
    {
      TFormZipProgress dialog(this, true, true);
      dialog.Start(" Save in progress...", archiver, paths);
      dialog.ShowModal();
      LastStatus = dialog.ResultCode();
      LastArchiveError = dialog.ErrorText();
    }
    archiver.Close();
    return LastStatus == 1;
  } catch (const std::exception& error) {
    // Also an archive that cannot be created: the step failed, whatever the step
    // before it left here.
    LastStatus = 3;
    LastArchiveError = error.what();
    return false;
  }
}

bool TFormMainScreen::VerifyReleaseArchives() {
  if (ReleaseFiles.empty()) {
    LastStatus = 3;
    LastArchiveError = kNoReleaseFile;
    return false;
  }
  for (const std::string& entry : ReleaseFiles) {
    // Paints the window while a large archive is read, without taking input.
    const auto failure = CheckArchiveWhole(JoinToFolder(settings_.app_directory, entry), [](double) {
      ui::ProcessNonInputMessages();
      return true;
    });
    if (failure) {
      LastStatus = 3;
      LastArchiveError = *failure;
      return false;
    }
  }
  LastStatus = 1;
  LastArchiveError.clear();
  return true;
}

bool TFormMainScreen::InstallRelease() {
  if (ReleaseFiles.empty()) {
    LastStatus = 3;
    LastArchiveError = kNoReleaseFile;
    return false;
  }
  try {
    ZipArchiver archiver;
    archiver.Options.OverwriteMode = omAlways;
    archiver.BaseDir = Utf8ToUtf16(settings_.app_directory);
    archiver.FileMasks = {u"*.*"};
    TFormZipProgress dialog(this, false, false);
    dialog.ArchiveFolder = settings_.app_directory;
    dialog.Start(" Install in progress...", archiver, ReleaseFiles);
    dialog.ShowModal();
    LastStatus = dialog.ResultCode();
    LastArchiveError = dialog.ErrorText();
    return LastStatus == 1;
  } catch (const std::exception& error) {
    LastStatus = 3;
    LastArchiveError = error.what();
    return false;
  }
}

}  // namespace kestrova
