#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>

#include "base/text.h"
#include "entry_format.h"
#include "progress_bar.h"
#include "selection_scan.h"
#include "zip/host_system.h"
#include "zip/wildcard.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

void PrintError(const std::string& message) {
  std::fprintf(stderr, "kestrova-zip: %s\n", message.c_str());
}

// Connects an archiver's events to the progress bar, counts the entries processed
// and those that failed.
class ConsoleReporter {
 public:
  explicit ConsoleReporter(ZipArchiver& archiver) {
    archiver.OnOverallProgress = [this](ZipArchiver&, double progress, TProcessOperation,
                                        TProgressPhase, bool&) { bar_.SetProgress(progress); };
    archiver.OnFileProgress = [this](ZipArchiver&, const std::u16string& name, double,
                                     TProcessOperation, TProgressPhase, bool&) {
      bar_.SetFile(Utf16ToUtf8(name));
    };
    archiver.OnConfirmProcessFile = [this](ZipArchiver&, const std::u16string& name,
                                           TProcessOperation, bool& confirm) {
      confirm = !skip_ || !skip_(name);
      if (confirm) ++processed_;
    };
    archiver.OnProcessFileFailure = [this](ZipArchiver&, const std::u16string& name,
                                           TProcessOperation, int, int, const std::string& message,
                                           TFileFailureAction& action) {
      bar_.Interrupt();
      std::fprintf(stderr, "%s: %s\n", Utf16ToUtf8(name).c_str(), message.c_str());
      ++failures_;
      action = fxaIgnore;
    };
    // The archiver cancels quietly when the disk is full; here it is an error.
    archiver.OnDiskFull = [this, &archiver](ZipArchiver&, bool& cancel) {
      bar_.Interrupt();
      PrintError(Utf16ToUtf8(archiver.FileName) + ": the disk is full; the archive is left as it was");
      disk_full_ = true;
      cancel = true;
    };
  }

  /// Files that `skip` returns true for are left out of the operation.
  void SkipFiles(std::function<bool(const std::u16string&)> skip) { skip_ = std::move(skip); }

  int Finish() {
    bar_.Finish();
    if (disk_full_) return kExitError;
    return failures_ ? kExitEntriesFailed : kExitOk;
  }
  void Interrupt() { bar_.Interrupt(); }
  /// Entries that went through without a failure.
  size_t Succeeded() const { return processed_ > failures_ ? processed_ - failures_ : 0; }
  size_t Failures() const { return failures_; }

 private:
  ProgressBar bar_;
  std::function<bool(const std::u16string&)> skip_;
  size_t processed_ = 0;
  size_t failures_ = 0;
  bool disk_full_ = false;
};

// Runs `body`, turning the errors that escape into a message and an exit code. The
// archiver's texts do not always name the archive ("Invalid archive file."); the
// message then starts with its name.
template <typename Body>
int Guarded(ConsoleReporter* reporter, const std::string& archive, Body body) {
  try {
    return body();
  } catch (const std::exception& error) {
    if (reporter) reporter->Interrupt();
    const std::string message = error.what();
    PrintError(message.find(archive) == std::string::npos ? archive + ": " + message : message);
  }
  return kExitError;
}

std::string DateTimeText(uint32_t dos) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", ((dos >> 25) & 0x7F) + 1980,
                (dos >> 21) & 0x0F, (dos >> 16) & 0x1F, (dos >> 11) & 0x1F, (dos >> 5) & 0x3F);
  return text;
}

bool IsWildcardMask(const std::string& mask) { return HasWildcard(Utf8ToUtf16(mask)); }

// The base folder of an add must exist: a typing mistake there must not make an
// empty archive.
bool CheckSourceFolder(const std::string& base_dir) {
  std::error_code error;
  if (!fs::exists(base_dir, error)) {
    PrintError(base_dir + ": no such folder");
    return false;
  }
  if (!fs::is_directory(base_dir, error)) {
    PrintError(base_dir + ": not a folder");
    return false;
  }
  return true;
}

// Checks every mask before anything is written; the masks that reach into linked
// folders are appended to `masks`.
bool CheckSelection(const std::string& base_dir, std::vector<std::string>& masks) {
  bool sound = true;
  std::vector<std::string> reported;  // masks that overlap find the same problems
  const size_t given = masks.size();
  for (size_t i = 0; i < given; ++i) {
    const std::string mask = masks[i];
    SelectionScan scan = ScanSelection(base_dir, mask);
    for (const auto& problem : scan.problems) {
      if (std::find(reported.begin(), reported.end(), problem) != reported.end()) continue;
      PrintError(problem);
      reported.push_back(problem);
    }
    if (!scan.matched) {
      PrintError(IsWildcardMask(mask) ? "nothing in " + base_dir + " matches " + mask
                                      : (fs::path(base_dir) / mask).string() + ": no such file or folder");
    }
    sound = sound && scan.matched && scan.problems.empty();
    masks.insert(masks.end(), scan.extra_masks.begin(), scan.extra_masks.end());
  }
  return sound;
}

// Where a fresh archive is written until it is complete.
std::string FreshArchivePath(const std::string& archive) { return archive + ".new"; }

bool SameFile(const std::u16string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(Utf16ToUtf8(a), b, error);
}

// The target of an extraction must be a folder that can be written to; when it is
// not, that is one error, not one per entry.
bool PrepareTargetFolder(const std::string& base_dir) {
  std::error_code error;
  fs::create_directories(base_dir, error);
  if (!fs::is_directory(base_dir)) {
    PrintError(base_dir + ": cannot create the folder" + (error ? ": " + error.message() : ""));
    return false;
  }
  const fs::path probe = fs::path(base_dir) / ".kestrova-zip-write-test";
  const bool writable = static_cast<bool>(std::ofstream(probe));
  fs::remove(probe, error);
  if (!writable) PrintError(base_dir + ": cannot write in the folder");
  return writable;
}

// unzip's way: each mask that selects nothing is named.
bool ReportUnmatchedMasks(const ZipArchiver& archiver, const std::string& archive,
                          const std::vector<std::string>& masks) {
  bool all_matched = true;
  for (const auto& mask : masks) {
    const std::u16string wide = Utf8ToUtf16(mask);
    bool matched = false;
    for (const auto& item : archiver.Items()) matched = matched || MatchesMask(item.name, wide);
    if (!matched) PrintError(archive + ": no entry matches " + mask);
    all_matched = all_matched && matched;
  }
  return all_matched;
}

std::string PermissionsOf(const DirectoryItem& item) {
  return PermissionText(item.UnixMode(), item.IsFolder(),
                        (item.header.external_attributes & faReadOnly) != 0);
}

}  // namespace

int AddCommand(const std::string& archive, const std::string& base_dir,
               const std::vector<std::string>& given_masks, const AddOptions& options) {
  if (!CheckSourceFolder(base_dir)) return kExitError;
  std::vector<std::string> masks = given_masks;
  if (!CheckSelection(base_dir, masks)) return kExitError;
  const std::string target = options.fresh ? FreshArchivePath(archive) : archive;
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  // The archive being replaced is no content of its successor.
  if (options.fresh) reporter.SkipFiles([&](const std::u16string& path) { return SameFile(path, archive); });
  const int result = Guarded(&reporter, archive, [&] {
    archiver.SetCompressionMode(options.level);
    archiver.FileName = Utf8ToUtf16(target);
    archiver.BaseDir = Utf8ToUtf16(base_dir);
    options.fresh ? archiver.Open(fmCreate) : archiver.Open();
    archiver.BeginUpdate();
    for (const auto& mask : masks) archiver.AddMatching(Utf8ToUtf16(mask));
    archiver.EndUpdate();
    const size_t entries = archiver.Count();
    archiver.Close();
    const int code = reporter.Finish();
    if (code != kExitError) {
      std::printf("Added %s to %s, which holds %s\n", CountText(reporter.Succeeded(), "file", "files").c_str(),
                  archive.c_str(), CountText(entries, "entry", "entries").c_str());
    }
    return code;
  });
  if (options.fresh) {
    std::error_code error;
    if (result != kExitError) fs::rename(target, archive, error);
    const bool replaced = result != kExitError && !error;
    if (error) PrintError(archive + ": cannot replace it: " + error.message());
    if (!replaced) fs::remove(target, error);
    if (!replaced) return kExitError;
  }
  return result;
}

int ExtractCommand(const std::string& archive, const std::string& base_dir,
                   const std::vector<std::string>& masks) {
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  return Guarded(&reporter, archive, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.BaseDir = Utf8ToUtf16(base_dir);
    if (masks.empty()) archiver.FileMasks.push_back(u"*.*");
    for (const auto& mask : masks) archiver.FileMasks.push_back(Utf8ToUtf16(mask));
    archiver.Open(fmOpenReadDenyNone);
    const bool all_matched = ReportUnmatchedMasks(archiver, archive, masks);
    if (!PrepareTargetFolder(base_dir)) return kExitError;
    archiver.ExtractMatching();
    const int code = reporter.Finish();
    std::printf("Extracted %s of %s to %s\n", CountText(reporter.Succeeded(), "entry", "entries").c_str(),
                archive.c_str(), base_dir.c_str());
    return code == kExitOk && !all_matched ? kExitEntriesFailed : code;
  });
}

int ListCommand(const std::string& archive) {
  ZipArchiver archiver;
  return Guarded(nullptr, archive, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.Open(fmOpenReadDenyNone);
    std::printf("%-10s %12s %12s %-6s %-16s %-8s %s\n", "Mode", "Size", "Compressed", "Method",
                "Modified", "CRC-32", "Name");
    uint64_t size = 0, compressed = 0;
    for (const auto& item : archiver.Items()) {
      const char* method = item.header.method == 0 ? "Stored" : item.header.method == 8 ? "Defl" : "Other";
      std::printf("%-10s %12llu %12llu %-6s %-16s %08x %s\n", PermissionsOf(item).c_str(),
                  static_cast<unsigned long long>(item.uncompressed_size),
                  static_cast<unsigned long long>(item.compressed_size), method,
                  DateTimeText(item.header.DosDateTime()).c_str(), item.header.crc32,
                  Utf16ToUtf8(item.name).c_str());
      size += item.uncompressed_size;
      compressed += item.compressed_size;
    }
    std::printf("%-10s %12llu %12llu %s%s\n", "", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(compressed),
                CountText(archiver.Count(), "entry", "entries").c_str(),
                archiver.OpenedByScan() ? " (damaged archive, entries found by scanning)" : "");
    return kExitOk;
  });
}

int TestCommand(const std::string& archive) {
  ZipArchiver archiver;
  ConsoleReporter reporter(archiver);
  return Guarded(&reporter, archive, [&] {
    archiver.FileName = Utf8ToUtf16(archive);
    archiver.FileMasks.push_back(u"*.*");
    archiver.Open(fmOpenReadDenyNone);
    // Entries found by scanning may be whole while the archive is not.
    if (archiver.OpenedByScan()) {
      PrintError(archive + ": damaged archive: its directory is missing or unusable, entries found by scanning");
    }
    archiver.TestMatching();
    const int code = reporter.Finish();
    const std::string entries = CountText(archiver.Count(), "entry", "entries");
    if (code == kExitOk && !archiver.OpenedByScan()) {
      std::printf("No errors in %s of %s\n", entries.c_str(), archive.c_str());
      return kExitOk;
    }
    if (reporter.Failures() > 0) {
      std::printf("%s: %zu of %s failed the test%s\n", archive.c_str(), reporter.Failures(),
                  entries.c_str(), archiver.OpenedByScan() ? ", and the archive is damaged" : "");
    } else {
      std::printf("%s: the %s found by scanning are whole, but the archive is damaged\n",
                  archive.c_str(), entries.c_str());
    }
    return code == kExitOk ? kExitEntriesFailed : code;
  });
}

}  // namespace kestrova
