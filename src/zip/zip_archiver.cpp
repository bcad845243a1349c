#include "zip/zip_archiver.h"

#include <cstring>
#include <mutex>

#include "base/text.h"
#include "zip/archiver_lock.h"
#include "zip/end_record.h"
#include "zip/staged_files.h"
#include "zip/entry_names.h"
#include "zip/temporary_file.h"

namespace kestrova {

ZipArchiver::ZipArchiver() : staged_(std::make_unique<StagedFiles>()) {}

ZipArchiver::~ZipArchiver() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the file is released either way.
  }
}

void ZipArchiver::SetCompressionLevel(TCompressionLevel level) {
  static constexpr uint8_t kModes[] = {0, 1, 6, 9};
  level_ = level;
  mode_ = kModes[level];
}

void ZipArchiver::SetCompressionMode(int mode) {
  if (mode < 0 || mode > 9) Raise(kErrInvalidCompressionMode);
  mode_ = static_cast<uint8_t>(mode);
  level_ = mode == 0 ? clNone : mode <= 3 ? clFastest : mode <= 6 ? clNormal : clMax;
}

void ZipArchiver::Open(uint16_t mode) {
  Close();
  if (FileName.empty()) Raise(mode == fmCreate ? kErrBlankFileNameCreate : kErrBlankFileName);
  path_ = NativePath(FileName);
  if (mode == fmCreate) {
    file_ = NativeFile::CreateOrTruncate(path_);
    if (!file_.IsOpen()) throw MakeError(kErrCannotCreateFile, path_, file_.OpenError());
    read_only_ = false;
    created_here_ = true;
  } else {
    const auto status = QueryFile(path_);
    if (!status) Raise(kErrFileNotFound, path_);
    if (status->is_dir || status->is_special) Raise(kErrCannotOpenArchive);
    read_only_ = mode == fmOpenReadDenyNone;
    file_ = read_only_ ? NativeFile::OpenForReading(path_) : NativeFile::OpenForUpdate(path_);
    if (!file_.IsOpen()) Raise(kErrCannotOpenArchive);
    try {
      ReadDirectory();
    } catch (...) {
      const std::string path = path_;
      ResetState();
      RethrowAsArchiverError(kErrCannotOpenArchive, path);
    }
  }
  if (AfterOpen) AfterOpen(*this);
}

void ZipArchiver::Open() {
  if (FileName.empty()) Raise(kErrBlankFileName);
  const std::string path = NativePath(FileName);
  if (!QueryFile(path)) {
    Open(fmCreate);
    return;
  }
  const bool writable = NativeFile::OpenForUpdate(path).IsOpen();
  Open(writable ? fmOpenReadWriteDenyWrite : fmOpenReadDenyNone);
}

void ZipArchiver::Close() {
  try {
    if (file_.IsOpen() && !read_only_ && file_.Size() == 0) {
      const std::string end = EncodeEndRecord(0, 0, 0, comment_);
      if (file_.WriteAt(0, end.data(), end.size()) != end.size()) {
        throw MakeError(kErrCannotWriteArchive, path_, "The disk is full");
      }
      if (Options.FlushBuffers) file_.Sync();
    }
  } catch (...) {
    const std::string path = path_;
    ResetState();
    RethrowAsArchiverError(kErrCannotWriteArchive, path);
  }
  ResetState();
}

void ZipArchiver::ResetState() {
  file_.Close();
  path_.clear();
  read_only_ = false;
  scanned_ = false;
  created_here_ = false;
  leftovers_removed_ = false;
  items_.Clear();
  rollback_items_.Clear();
  update_depth_ = 0;
  comment_.clear();
  directory_start_ = 0;
  prefix_ = 0;
}

void ZipArchiver::BeginUpdate() {
  RequireActive();
  if (update_depth_++ == 0) rollback_items_ = items_;
}

void ZipArchiver::EndUpdate() {
  if (update_depth_ == 0) return;
  if (--update_depth_ == 0) Commit();
}

EArchiverError ZipArchiver::MakeError(int code, const std::string& argument,
                                     const std::string& detail) const {
  std::string message = ArchiverMessage(code, argument);
  if (!detail.empty()) message += ". " + detail;
  return EArchiverError(code, FormatArchiverError(Utf16ToUtf8(Name), code, message));
}

void ZipArchiver::RethrowAsArchiverError(std::exception_ptr failure, int code,
                                         const std::string& argument) const {
  try {
    std::rethrow_exception(failure);
  } catch (...) {
    RethrowAsArchiverError(code, argument);
  }
}

void ZipArchiver::RethrowAsArchiverError(int code, const std::string& argument) const {
  try {
    throw;
  } catch (const EArchiverError&) {
    throw;
  } catch (const std::exception& error) {
    throw MakeError(code, argument, error.what());
  }
}

void ZipArchiver::Raise(int code, const std::string& argument) const {
  throw MakeError(code, argument);
}

TFileFailureAction ZipArchiver::ReportFailure(const std::u16string& file_name,
                                              TProcessOperation operation,
                                              const EArchiverError& error) {
  TFileFailureAction action = fxaIgnore;
  if (OnProcessFileFailure) {
    OnProcessFileFailure(*this, file_name, operation, error.Code(), error.ErrorCode(), error.what(),
                         action);
  }
  return action;
}

bool ZipArchiver::FireOverall(double progress, TProcessOperation operation, TProgressPhase phase) {
  bool cancel = false;
  if (OnOverallProgress) OnOverallProgress(*this, progress, operation, phase, cancel);
  return !cancel;
}

bool ZipArchiver::FireFile(const std::u16string& file_name, double progress,
                           TProcessOperation operation, TProgressPhase phase) {
  bool cancel = false;
  if (OnFileProgress) OnFileProgress(*this, file_name, progress, operation, phase, cancel);
  return !cancel;
}

void ZipArchiver::RequireActive() const {
  if (!file_.IsOpen()) Raise(kErrArchiveNotOpen);
}

std::string ZipArchiver::NativePath(const std::u16string& path) const {
  std::string native = Utf16ToUtf8(path);
  if (NativeSeparator() == '/') {
    for (char& c : native) {
      if (c == '\\') c = '/';
    }
  }
  return native;
}

std::string ZipArchiver::BaseFolder() const {
  std::u16string base16 = Utf8ToUtf16(NativePath(BaseDir));
  if (!IsFullPath(Utf16ToUtf8(base16))) base16 = Utf8ToUtf16(CurrentFolder()) + base16;
  const std::string base = Utf16ToUtf8(NormalizePath(base16));
  return base.empty() ? std::string(1, NativeSeparator()) : WithTrailingSeparator(base);
}

size_t ZipArchiver::ReadArchive(uint64_t offset, void* buffer, size_t size) const {
  try {
    return file_.ReadAt(offset, buffer, size);
  } catch (const NativeFileError& error) {
    throw MakeError(kErrCannotReadFile, path_, error.what());
  }
}

std::recursive_mutex& ArchiverLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace kestrova
