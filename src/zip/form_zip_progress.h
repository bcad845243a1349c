// The modal window that runs one save or install job of the archiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/button.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"
#include "ui/timer.h"
#include "zip/zip_archiver.h"

namespace kestrova {

/// Runs one archiving job while it is shown modally, and shows which list entry is
/// being worked on. Save mode adds each entry of the list to the caller's open
/// archive; install mode reads every listed archive whole, extracts them all beside
/// their targets and only then puts the files in place, so that the installation
/// ends up either all new or as it was. The window closes itself 500 ms after the
/// job; ResultCode then says 1 done, 2 cancelled, 3 failed, and ErrorText why.
class TFormZipProgress : public ui::TForm {
 public:
  TFormZipProgress(ui::TForm* owner, bool save_mode, bool cancel_visible);

  ui::TLabel LabelFilename{*this};
  ui::TGauge Gauge1{*this};
  ui::TBitBtn BitBtnCancel{*this};
  ui::TTimer TimerClose;

  /// Where install mode finds the listed archives; the updater's own folder unless
  /// set otherwise. Ends in a separator.
  std::string ArchiveFolder;

  /// Sets the caption and hands over the job; neither `archiver` nor `list` is owned
  /// and both must outlive the showing.
  void Start(const std::string& caption, ZipArchiver& archiver, const std::vector<std::string>& list);
  int32_t ResultCode() const { return result_code_; }
  const std::string& ErrorText() const { return error_text_; }

  void FormActivate();
  void BitBtnCancelClick();
  void TimerCloseTimer();
  void ZipArchiverOverallProgress(ZipArchiver& sender, double progress, TProcessOperation operation,
                                  TProgressPhase phase, bool& cancel);
  void ZipArchiverProcessFileFailure(ZipArchiver& sender, const std::u16string& file_name,
                                     TProcessOperation operation, int native_error, int error_code,
                                     const std::string& error_message, TFileFailureAction& action);
  void ZipArchiverDiskFull(ZipArchiver& sender, bool& cancel);

 private:
  void FormCreate();
  void RunJob();
  void SaveEntries();
  void InstallArchives();
  bool CheckArchives();
  void StageArchives();
  void ShowEntry(const std::string& entry);
  bool ShowProgress(double progress);
  void Fail(const std::string& message);

  bool save_mode_;
  bool started_ = false;
  bool abort_ = false;
  int32_t result_code_ = 0;
  std::string error_text_;
  ZipArchiver* archiver_ = nullptr;
  const std::vector<std::string>* list_ = nullptr;
};

}  // namespace kestrova
