#include "net/form_download.h"

#include <algorithm>
#include <climits>

#include "ui/credentials_dialog.h"

namespace kestrova {
namespace {

// The estimate is refreshed at most this often, from the bytes since the last one.
constexpr int64_t kEstimateIntervalMs = 5000;

std::optional<Credentials> AskUser(const CredentialChallenge& challenge) {
  const auto asker =
      challenge.asker == CredentialAsker::Proxy ? ui::TCredentialsAsker::Proxy : ui::TCredentialsAsker::Server;
  Credentials answer;
  if (!ui::AskCredentials(asker, challenge.host, answer.user_name, answer.password)) return std::nullopt;
  return answer;
}

std::string LeftTime(int64_t s) {
  if (s < 60) return std::to_string(s) + " sec";
  const int64_t m = s / 60;
  if (m <= 59) {
    if (s % 60 != 0) return std::to_string(m) + " min  " + std::to_string(s % 60) + " sec";
    return std::to_string(m) + " min";
  }
  return std::to_string(s / 3600) + " h  " + std::to_string((s % 3600) / 60) + " min";
}

}  // namespace

std::string EstimatedLeftTimeText(int64_t seconds) {
  if (seconds < 1) return "Estimated left time: 1s";
  return "Estimated left time: " + LeftTime(seconds);
}

std::string RetryText(int attempt, int attempts) {
  return "Connection lost, retry " + std::to_string(attempt) + " of " + std::to_string(attempts) +
         "...";
}

TFormDownload::TFormDownload(ui::TForm* owner) : ui::TForm(owner) {
  SetCaption(" Download in progress...");
  SetBorderStyle(ui::TFormBorderStyle::ToolWindow);
  SetBorderIcons(ui::biNone);
  SetFormStyle(ui::TFormStyle::StayOnTop);
  SetPosition(ui::TPosition::DesktopCenter);
  SetClientSize(360, 98);
  SetAlphaBlend(true, 238);
  SetColor(ui::TColor::FromBgr(15515566));
  SetFont(ui::TFont{"MS Sans Serif", 11});

  LabelFilename.SetBounds(16, 8, 297, 13);

  Gauge1.SetBounds(16, 28, 328, 12);
  Gauge1.SetForeColor(ui::clAqua);
  Gauge1.SetShowText(false);
  Gauge1.SetFont(ui::TFont{"MS Sans Serif", 9});
  Gauge1.SetMinValue(0);

  LabelPercentDone.SetBounds(302, 42, 42, 13);
  LabelPercentDone.SetAlignment(ui::TAlignment::RightJustify);
  LabelPercentDone.SetCaption("");

  LabelSize.SetBounds(16, 47, 287, 13);
  LabelSize.SetCaption("");

  BitBtnCancel.SetBounds(142, 67, 75, 24);
  BitBtnCancel.SetKind(ui::TBitBtnKind::Cancel);
  BitBtnCancel.SetModalResult(ui::TModalResult::Cancel);
  BitBtnCancel.SetTabOrder(0);

  FormCreate();
}

// The downloader goes first: its destructor stops the worker, whose events refer to
// this window.
TFormDownload::~TFormDownload() { Downloader.reset(); }

void TFormDownload::FormCreate() {
  OnActivate = [this] { FormActivate(); };
  BitBtnCancel.OnClick = [this] { BitBtnCancelClick(); };
}

void TFormDownload::PrepareDownload(int32_t access_type, const std::string& proxy_server,
                                    const std::string& user_name, const std::string& password,
                                    const std::string& target_directory,
                                    const std::string& file_name, const std::string& url,
                                    int64_t max_size, const std::string& release) {
  LastBytes = 0;
  LastTime = Now();
  EstimateText.clear();

  Downloader = std::make_unique<THTTPGet>();
  Downloader->OnProgress = [this](THTTPGetThread& sender, int64_t total, int64_t readed) {
    HTTPGet1Progress(sender, total, readed);
  };
  Downloader->OnError = [this](THTTPGet& sender) { HTTPGet1Error(sender); };
  Downloader->OnDoneFile = [this](THTTPGet& sender, const std::string& name, int64_t size) {
    HTTPGet1DoneFile(sender, name, size);
  };
  Downloader->OnCredentials = &AskUser;
  Downloader->OnRetry = [this](THTTPGetThread& sender, int attempt, int attempts,
                               const std::string& reason) {
    HTTPGet1Retry(sender, attempt, attempts, reason);
  };
  Downloader->RetryPauses = kDownloadRetryPauses;
  Downloader->ResumeTag = release;

  Downloader->Internet_Type = access_type;
  Downloader->Proxy_Server = proxy_server;
  Downloader->FileName = target_directory + file_name;
  Downloader->URL = url;
  Downloader->UserName = user_name;
  Downloader->Password = password;
  Downloader->MaxSize = max_size;

  LabelFilename.SetCaption(file_name);
}

void TFormDownload::FormActivate() {
  if (Downloader) Downloader->StartDownload();
}

void TFormDownload::BitBtnCancelClick() {
  Status = 2;
  if (Downloader) Downloader->CancelDownload();
}

// The first outcome stands: a worker that completes after the user cancelled does
// not turn the cancel into a success the caller never saw.
void TFormDownload::Finish(int32_t status) {
  if (Status == 0) Status = status;
  Close();
}

std::string TFormDownload::FailureText() const {
  if (Status != 3 || !Downloader) return {};
  const std::string reason = Downloader->FailureText();
  return LabelFilename.Caption() + ": " + (reason.empty() ? "the download failed" : reason);
}

void TFormDownload::HTTPGet1DoneFile(THTTPGet&, const std::string&, int64_t) { Finish(1); }

void TFormDownload::HTTPGet1Error(THTTPGet&) { Finish(3); }

void TFormDownload::UpdateEstimate(int64_t total_size, int64_t readed) {
  const Clock::time_point now = Now();
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - LastTime).count();
  if (ms <= kEstimateIntervalMs) return;
  // Progress without new bytes gives no rate to estimate from; a download that
  // started over measures from where it starts again.
  if (readed <= LastBytes) {
    LastBytes = readed;
    return;
  }
  const int64_t ratio = (total_size - readed) / (readed - LastBytes);
  // In seconds first, so that the product stays far from overflowing.
  const int64_t s = ratio * (ms / 1000) + ratio * (ms % 1000) / 1000;
  EstimateText = EstimatedLeftTimeText(s);
  LastTime = now;
  LastBytes = readed;
}

// The gauge counts in int: a file beyond its range is shown in kilobytes (or larger
// units), which keeps its percentage the same as the label's.
void TFormDownload::ShowGauge(int64_t total_size, int64_t readed) {
  int64_t unit = 1;
  while (total_size / unit > INT_MAX) unit *= 1024;
  Gauge1.SetMaxValue(static_cast<int>(total_size / unit));
  Gauge1.SetProgress(static_cast<int>(std::clamp<int64_t>(readed, 0, total_size) / unit));
}

void TFormDownload::ShowSizes(int64_t total_size, int64_t readed) {
  LabelSize.SetCaption(EstimateText + "  (" + std::to_string(readed / 1024) + " Kb of " +
                       std::to_string(total_size / 1024) + " Kb)");
}

void TFormDownload::HTTPGet1Progress(THTTPGetThread&, int64_t total_size, int64_t readed) {
  UpdateEstimate(total_size, readed);
  ShowGauge(total_size, readed);
  ShowSizes(total_size, readed);
  const int64_t percent = total_size <= 0 ? 0 : std::clamp<int64_t>(readed, 0, total_size) * 100 / total_size;
  LabelPercentDone.SetCaption("  (" + std::to_string(percent) + "%)");
}

void TFormDownload::HTTPGet1Retry(THTTPGetThread& sender, int attempt, int attempts,
                                  const std::string&) {
  // The rate before the break says nothing about the link after it.
  EstimateText = RetryText(attempt, attempts);
  LastTime = Now();
  ShowSizes(sender.TotalSize, sender.Readed);
}

}  // namespace kestrova
