// Downloads one URL through the download dialog, as the upgrade does, and prints the
// outcome, the seconds from the start of the dialog to its end, the bytes of the
// file, the number of progress events the GUI thread ran and the body bytes received
// over the network in all (more than the file's when a broken download started over):
//
//   bench_download URL TARGET_FOLDER/ FILE_NAME
//
// Set QT_QPA_PLATFORM=offscreen to run it without a screen.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "net/form_download.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s URL TARGET_FOLDER/ FILE_NAME\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1], folder = argv[2], name = argv[3];
  int app_argc = 1;
  kestrova::ui::TApplication application(app_argc, argv);
  kestrova::TFormDownload form;
  form.PrepareDownload(kestrova::kOpenTypeDirect, "", "", "", folder, name, url);
  // Counts the events on top of the dialog's own handling of them.
  long events = 0;
  auto shown = form.Downloader->OnProgress;
  form.Downloader->OnProgress = [&](kestrova::THTTPGetThread& sender, int64_t total, int64_t readed) {
    ++events;
    shown(sender, total, readed);
  };
  const auto start = std::chrono::steady_clock::now();
  form.ShowModal();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::error_code ignored;
  const auto bytes = std::filesystem::file_size(folder + name, ignored);
  std::printf("status %d seconds %.3f bytes %llu events %ld received %lld\n", form.DownloadStatus(),
              seconds, static_cast<unsigned long long>(bytes), events,
              static_cast<long long>(form.Downloader->BytesReceived()));
  return form.DownloadStatus() == 1 ? 0 : 1;
}
