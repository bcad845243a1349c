// The two upgrade steps that touch the installed files: saving what the action list
// names before anything changes, and installing the release archives.
#include <exception>
#include <stdexcept>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "ui/application.h"
#include "upgrade/form_main_screen.h"
#include "zip/archive_check.h"
#include "zip/form_zip_progress.h"
#include "zip/staged_files.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr char kNoReleaseFile[] = "The action list names no release file";

}  // namespace

bool TFormMainScreen::SaveCurrentVersion(const std::vector<std::string>& paths) {
  try {
    if (PrivateWorkingFolder().empty()) throw std::runtime_error("The updater has no private folder for the save");
    KeepSaveGenerations(settings_.name);
    const std::string archive_path = SaveArchivePath(settings_.name);
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
    archiver.StageExtraction = true;
    {
      TFormZipProgress dialog(this, false, false);
      dialog.Start(" Install in progress...", archiver, [&] { StageReleaseArchives(dialog, archiver); });
      dialog.ShowModal();
      LastStatus = dialog.ResultCode();
      LastArchiveError = dialog.ErrorText();
    }
    // What did not stage completely goes with the archiver.
    if (LastStatus != 1) return false;
    // Outside an upgrade the install is a transaction of its own.
    std::string error;
    std::unique_ptr<UpgradeTransaction> own;
    if (!transaction_) own = UpgradeTransaction::Begin(settings_.app_directory, settings_.release_version, error);
    UpgradeTransaction* transaction = own ? own.get() : transaction_.get();
    if (!transaction) throw std::runtime_error(error);
    const std::unique_ptr<StagedFiles> staged = archiver.TakeStagedFiles();
    if (const auto failed = transaction->PutInPlace(*staged)) {
      LastStatus = 3;
      LastArchiveError = FormatArchiverError("", kErrCannotCreateFile, ArchiverMessage(kErrCannotCreateFile, *failed));
      return false;
    }
    if (own && !own->Commit()) throw std::runtime_error("The upgrade journal cannot be written");
    return true;
  } catch (const std::exception& error) {
    LastStatus = 3;
    LastArchiveError = error.what();
    return false;
  }
}

// Each archive was checked whole after its download; here its files are only written
// beside their targets, which stay as they are until every file of every archive is.
void TFormMainScreen::StageReleaseArchives(TFormZipProgress& dialog, ZipArchiver& archiver) {
  for (const std::string& entry : ReleaseFiles) {
    dialog.ShowEntry(entry);
    archiver.FileName = Utf8ToUtf16(JoinToFolder(settings_.app_directory, entry));
    try {
      archiver.Open(fmOpenReadDenyNone);
      archiver.ExtractMatching();
      archiver.Close();
    } catch (const EArchiverError& error) {
      // Checked a moment ago; gone, changed or out of room since.
      dialog.Fail(error.what());
      return;
    }
    if (dialog.Stopped()) return;
  }
}

}  // namespace kestrova
