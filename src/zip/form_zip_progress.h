// The modal window that runs one save or install job of the archiver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/progress_pace.h"
#include "ui/button.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"
#include "ui/timer.h"
#include "zip/zip_archiver.h"

namespace kestrova {

/// Runs one archiving job while it is shown modally: it shows the archiver's progress
/// and which entry is being worked on, and offers Cancel. The save job adds each
/// entry of a list to the caller's open archive; any other job is the caller's (the
/// upgrade stages its install that way), and the dialog owns no step of it. The
/// window closes itself 500 ms after the job; ResultCode then says 1 done, 2
/// cancelled, 3 failed, and ErrorText why.
class TFormZipProgress : public ui::TForm {
 public:
  TFormZipProgress(ui::TForm* owner, bool save_mode, bool cancel_visible);

  ui::TLabel LabelFilename{*this};
  ui::TGauge Gauge1{*this};
  ui::TBitBtn BitBtnCancel{*this};
  ui::TTimer TimerClose;

  /// Sets the caption and hands over the save job; neither `archiver` nor `list` is
  /// owned and both must outlive the showing.
  void Start(const std::string& caption, ZipArchiver& archiver, const std::vector<std::string>& list);
  /// Sets the caption and hands over a job of the caller's that works with `archiver`
  /// (not owned); it runs when the window is first activated.
  void Start(const std::string& caption, ZipArchiver& archiver, std::function<void()> job);
  int32_t ResultCode() const { return result_code_; }
  const std::string& ErrorText() const { return error_text_; }

  /// For a job: shows the list entry being worked on.
  void ShowEntry(const std::string& entry);
  /// For a job: ends it as failed with `message`.
  void Fail(const std::string& message);
  /// For a job: whether it must stop (cancelled or failed).
  bool Stopped() const { return abort_; }

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
  void SaveEntries(const std::vector<std::string>& list);

  bool save_mode_;
  bool started_ = false;
  bool abort_ = false;
  ProgressPace pace_;
  int32_t result_code_ = 0;
  std::string error_text_;
  ZipArchiver* archiver_ = nullptr;
  std::function<void()> job_;
};

}  // namespace kestrova
