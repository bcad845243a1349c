#include "zip/form_zip_progress.h"

#include <cmath>

#include "base/files.h"
#include "base/paths.h"
#include "base/text.h"
#include "ui/application.h"

namespace kestrova {
namespace {

constexpr int kSaveClientWidth = 359;
constexpr int kSaveClientHeight = 87;
constexpr int kInstallOuterHeight = 81;  // leaves the button row out

}  // namespace

TFormZipProgress::TFormZipProgress(ui::TForm* owner, bool save_mode, bool cancel_visible)
    : ui::TForm(owner), save_mode_(save_mode) {
  SetCaption("FormZipProgress");
  SetBorderStyle(ui::TFormBorderStyle::ToolWindow);
  SetFormStyle(ui::TFormStyle::StayOnTop);
  SetPosition(ui::TPosition::DesktopCenter);
  SetClientSize(kSaveClientWidth, kSaveClientHeight);
  SetColor(ui::TColor::FromBgr(15515566));
  SetFont(ui::TFont{"Tahoma", 11});

  LabelFilename.SetBounds(16, 8, 297, 13);
  LabelFilename.SetCaption("");

  Gauge1.SetBounds(16, 28, 328, 12);
  Gauge1.SetForeColor(ui::clAqua);
  Gauge1.SetShowText(false);
  Gauge1.SetMinValue(0);
  Gauge1.SetMaxValue(100);
  Gauge1.SetProgress(0);

  BitBtnCancel.SetBounds(142, 52, 75, 24);
  BitBtnCancel.SetKind(ui::TBitBtnKind::Cancel);
  BitBtnCancel.SetTabOrder(0);

  TimerClose.SetInterval(500);
  TimerClose.SetEnabled(false);

  if (!save_mode_) {
    // The outer height is meant: the frame comes off the client area.
    SetClientSize(kSaveClientWidth, kInstallOuterHeight - (Height() - ClientHeight()));
  }
  BitBtnCancel.SetVisible(cancel_visible);
  FormCreate();
}

void TFormZipProgress::FormCreate() {
  OnActivate = [this] { FormActivate(); };
  BitBtnCancel.OnClick = [this] { BitBtnCancelClick(); };
  TimerClose.OnTimer = [this] { TimerCloseTimer(); };
}

void TFormZipProgress::Start(const std::string& caption, ZipArchiver& archiver,
                             const std::vector<std::string>& list) {
  Start(caption, archiver, [this, &list] { SaveEntries(list); });
}

void TFormZipProgress::Start(const std::string& caption, ZipArchiver& archiver, std::function<void()> job) {
  SetCaption(caption);
  archiver_ = &archiver;
  job_ = std::move(job);
  archiver.OnOverallProgress = [this](ZipArchiver& sender, double progress, TProcessOperation operation,
                                      TProgressPhase phase, bool& cancel) {
    ZipArchiverOverallProgress(sender, progress, operation, phase, cancel);
  };
  archiver.OnProcessFileFailure = [this](ZipArchiver& sender, const std::u16string& file_name,
                                         TProcessOperation operation, int native_error, int error_code,
                                         const std::string& error_message, TFileFailureAction& action) {
    ZipArchiverProcessFileFailure(sender, file_name, operation, native_error, error_code, error_message,
                                  action);
  };
  // A save that ran out of room has lost what it was adding: that is a failure the
  // caller must see, or the upgrade would go on to overwrite files never saved.
  archiver.OnDiskFull = [this](ZipArchiver& sender, bool& cancel) { ZipArchiverDiskFull(sender, cancel); };
}

// Activation comes again whenever the window regains the focus, also from the
// messages the running job processes; the job runs once.
void TFormZipProgress::FormActivate() {
  if (started_ || !archiver_ || !job_) return;
  started_ = true;
  try {
    job_();
  } catch (const std::exception& error) {
    // The window layer reports it and the window waits for the user; the caller
    // still learns why the job did not end.
    if (error_text_.empty()) error_text_ = error.what();
    throw;
  }
  if (!abort_) result_code_ = 1;
  TimerClose.SetEnabled(true);
}

void TFormZipProgress::SaveEntries(const std::vector<std::string>& list) {
  for (const std::string& entry : list) {
    ShowEntry(entry);
    if (abort_) break;
    archiver_->AddMatching(Utf8ToUtf16(entry), kDefaultSearchAttr, {});
  }
}

void TFormZipProgress::ShowEntry(const std::string& entry) {
  LabelFilename.SetCaption(entry);
}

void TFormZipProgress::Fail(const std::string& message) {
  result_code_ = 3;
  error_text_ = message;
  abort_ = true;
}

void TFormZipProgress::ZipArchiverOverallProgress(ZipArchiver&, double progress, TProcessOperation,
                                                  TProgressPhase phase, bool& cancel) {
  if (abort_) cancel = true;
  // The window follows at its own pace; a click on Cancel waits one interval at most.
  if (phase == ppProcess && !pace_.Due()) return;
  if (phase != ppProcess) pace_.Shown();
  Gauge1.SetProgress(static_cast<int>(std::nearbyint(progress)));
  ui::ProcessMessages();
}

void TFormZipProgress::ZipArchiverProcessFileFailure(ZipArchiver&, const std::u16string&, TProcessOperation, int,
                                                     int, const std::string& error_message,
                                                     TFileFailureAction& action) {
  Fail(error_message);
  action = fxaAbort;
}

void TFormZipProgress::ZipArchiverDiskFull(ZipArchiver& sender, bool& cancel) {
  cancel = true;
  const std::string archive = Utf16ToUtf8(sender.FileName);
  Fail(FormatArchiverError(Utf16ToUtf8(sender.Name), kErrCannotWriteArchive,
                           ArchiverMessage(kErrCannotWriteArchive, archive) + ". The disk is full"));
}

void TFormZipProgress::BitBtnCancelClick() {
  result_code_ = 2;
  abort_ = true;
  BitBtnCancel.SetEnabled(false);
}

void TFormZipProgress::TimerCloseTimer() {
  TimerClose.SetEnabled(false);
  Close();
}

}  // namespace kestrova
