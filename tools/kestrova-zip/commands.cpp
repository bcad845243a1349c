#include "commands.h"

#include <cstdio>
#include <exception>
#include <system_error>

#include "base/text.h"
#include "progress_bar.h"
#include "zip/host_system.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

// Connects an archiver's events to the progress bar and counts failed entries.
class ConsoleReporter {
 public:
  explicit ConsoleReporter(ZipArchiver& archiver) {
    archiver.OnOverallProgress = [this](ZipArchiver&, double progress, TProcessOperation,
                                        TProgressPhase, bool&) { bar_.SetProgress(progress); };
    archiver.OnFileProgress = [this](ZipArchiver&, const std::u16string& name, double,
                                     TProcessOperation, TProgressPhase, bool&) {
      bar_.SetFile(Utf16ToUtf8(name));
    };
    archiver.OnProcessFileFailure = [this](ZipArchiver&, const std::u16string& name,
                                           TProcessOperation, int, int, const std::string& message,
                                           TFileFailureAction& action) {
      bar_.Interrupt();
      std::fprintf(stderr, "%s: %s\n", Utf16ToUtf8(name).c_str(), message.c_str());
      ++failures_;
      action = fxaIgnore;
    };
  }

  int Finish() {
    bar_.Finish();
    return failures_ ? kExitEntriesFailed : kExitOk;
  }
  void Interrupt() { bar_.Interrupt(); }

 private:
  ProgressBar bar_;
  int failures_ = 0;
};

// Runs `body`, turning the errors that escape into a message and an exit code.
template <typename Body>
int Guarded(ConsoleReporter* reporter, Body body) {
  try {
    return body();
  } catch (const EArchiverError& error) {
    if (reporter) reporter->Interrupt();
    std::fprintf(stderr, "kestrova-zip: %s\n", error.what());
  } catch (const std::exception& error) {
    if (reporter) reporter->Interrupt();
    std::fprintf(stderr, "kestrova-zip: %s\n", error.what());
  }
  return kExitError;
}

std::string DateTimeText(uint32_t dos) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", ((dos >> 25) & 0x7F) + 1980,
                (dos >> 21) & 0x0F, (dos >> 16) & 0x1F, (dos >> 11) & 0x1F, (dos >> 5) & 0x3F);
  return text;
}

}  // namespace

int AddCommand(const std::string& archive, const std::string& base_dir,
               const std::vector<std::string>& masks, int level) {
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  return Guarded(&reporter, [&] {
    archiver.SetCompressionMode(level);
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.BaseDir = Utf8ToUtf16(base_dir);
    archiver.Open();
    for (const auto& mask : masks) archiver.AddMatching(Utf8ToUtf16(mask));
    archiver.Close();
    return reporter.Finish();
  });
}

int ExtractCommand(const std::string& archive, const std::string& base_dir,
                   const std::vector<std::string>& masks) {
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  return Guarded(&reporter, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.BaseDir = Utf8ToUtf16(base_dir);
    if (masks.empty()) archiver.FileMasks.push_back(u"*.*");
    for (const auto& mask : masks) archiver.FileMasks.push_back(Utf8ToUtf16(mask));
    archiver.Open(fmOpenReadDenyNone);
    archiver.ExtractMatching();
    return reporter.Finish();
  });
}

int ListCommand(const std::string& archive) {
  ZipArchiver archiver;
  return Guarded(nullptr, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.Open(fmOpenReadDenyNone);
    std::printf("%12s %12s %-6s %-16s %-8s %s\n", "Size", "Compressed", "Method", "Modified", "CRC-32",
                "Name");
    uint64_t size = 0, compressed = 0;
    for (const auto& item : archiver.Items()) {
      const char* method = item.header.method == 0 ? "Stored" : item.header.method == 8 ? "Defl" : "Other";
      std::printf("%12llu %12llu %-6s %-16s %08x %s\n",
                  static_cast<unsigned long long>(item.uncompressed_size),
                  static_cast<unsigned long long>(item.compressed_size), method,
                  DateTimeText(item.header.DosDateTime()).c_str(), item.header.crc32,
                  Utf16ToUtf8(item.name).c_str());
      size += item.uncompressed_size;
      compressed += item.compressed_size;
    }
    std::printf("%12llu %12llu %zu entries%s\n", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(compressed), archiver.Count(),
                archiver.OpenedByScan() ? " (damaged archive, entries found by scanning)" : "");
    return kExitOk;
  });
}

int TestCommand(const std::string& archive) {
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  return Guarded(&reporter, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.FileMasks.push_back(u"*.*");
    archiver.Open(fmOpenReadDenyNone);
    archiver.TestMatching();
    const int result = reporter.Finish();
    if (result == kExitOk) std::printf("No errors in %zu entries of %s\n", archiver.Count(), archive.c_str());
    return result;
  });
}

}  // namespace kestrova
