// The modal window that downloads one release file and shows how far it has come.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/http_get.h"
#include "ui/button.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"

namespace kestrova {

/// The remaining-time text for `seconds` left ("Estimated left time: 2 min  5 sec");
/// nothing left reads "Estimated left time: 1s".
std::string EstimatedLeftTimeText(int64_t seconds);
/// What the dialog shows while a broken download waits to be asked for again.
std::string RetryText(int attempt, int attempts);

/// Downloads one file while showing its name, a gauge, the sizes, the percentage and
/// an estimate of the time left. Set up with PrepareDownload, shown modally; it
/// starts when it becomes active, closes itself when the download has ended, and
/// DownloadStatus then tells the outcome: 1 done, 2 cancelled, 3 failed.
class TFormDownload : public ui::TForm {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TFormDownload(ui::TForm* owner = nullptr);
  ~TFormDownload() override;

  ui::TLabel LabelFilename{*this};
  ui::TGauge Gauge1{*this};
  ui::TLabel LabelPercentDone{*this};
  ui::TLabel LabelSize{*this};
  ui::TBitBtn BitBtnCancel{*this};

  /// `target_directory` ends in a separator; the file is stored under `file_name`
  /// in it. With a named proxy, `user_name` and `password` are the proxy's. A
  /// `max_size` above 0 is the most bytes the file may have (THTTPGet::MaxSize). A
  /// download that breaks is asked for again (kDownloadRetryPauses); with a `release`,
  /// what arrived stays beside the file for the next download of that release to
  /// continue (THTTPGet::ResumeTag).
  void PrepareDownload(int32_t access_type, const std::string& proxy_server,
                       const std::string& user_name, const std::string& password,
                       const std::string& target_directory, const std::string& file_name,
                       const std::string& url, int64_t max_size = 0,
                       const std::string& release = "");
  int32_t DownloadStatus() const { return Status; }
  /// After a failed download (status 3): which file and why, in words for a log
  /// ("release.zip: no data for 30 s"); empty otherwise.
  std::string FailureText() const;

  std::unique_ptr<THTTPGet> Downloader;
  std::string EstimateText;
  int32_t Status = 0;
  Clock::time_point LastTime;
  int64_t LastBytes = 0;
  /// Where the estimate reads the time.
  std::function<Clock::time_point()> Now = [] { return Clock::now(); };

  void FormActivate();
  void BitBtnCancelClick();
  void HTTPGet1DoneFile(THTTPGet& sender, const std::string& file_name, int64_t file_size);
  void HTTPGet1Error(THTTPGet& sender);
  void HTTPGet1Progress(THTTPGetThread& sender, int64_t total_size, int64_t readed);
  void HTTPGet1Retry(THTTPGetThread& sender, int attempt, int attempts, const std::string& reason);

 private:
  void FormCreate();
  void UpdateEstimate(int64_t total_size, int64_t readed);
  void ShowGauge(int64_t total_size, int64_t readed);
  void ShowSizes(int64_t total_size, int64_t readed);
  void Finish(int32_t status);
};

}  // namespace kestrova
