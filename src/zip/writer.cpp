// ZipArchiver: selecting files (AddMatching) and committing them to the archive.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "base/text.h"
#include "zip/archiver_lock.h"
#include "zip/deflate_stream.h"
#include "zip/end_record.h"
#include "zip/entry_names.h"
#include "zip/extra_field.h"
#include "zip/file_selection.h"
#include "zip/local_header.h"
#include "zip/name_codec.h"
#include "zip/parallel_deflate.h"
#include "zip/temporary_file.h"
#include "zip/wildcard.h"
#include "zip/zip64_limits.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr uint16_t kVersionWithZip64 = 45;
constexpr size_t kZip64LocalBlockSize = 20;

// The local header that goes with an item's central directory header; with Zip64 sizes
// its size fields send readers to the Zip64 block in front of its extra field.
LocalHeader LocalHeaderOf(const DirectoryItem& item, bool zip64_sizes = false) {
  LocalHeader local;
  local.flags = item.header.flags;
  local.method = item.header.method;
  local.dos_time = item.header.dos_time;
  local.dos_date = item.header.dos_date;
  local.crc32 = item.header.crc32;
  local.compressed_size = item.header.compressed_size;
  local.uncompressed_size = item.header.uncompressed_size;
  local.name_length = uint16_t(item.byte_name.size());
  local.extra_length = uint16_t(item.extra.size());
  if (zip64_sizes) {
    local.version_needed = uint16_t((local.version_needed & 0xFF00) | kVersionWithZip64);
    local.compressed_size = kZip64Marker;
    local.uncompressed_size = kZip64Marker;
    local.extra_length = uint16_t(local.extra_length + kZip64LocalBlockSize);
  }
  return local;
}

// A local Zip64 block holds both sizes, whatever their values.
std::string LocalZip64Block(uint64_t uncompressed_size, uint64_t compressed_size) {
  const Zip64Fields both{kZip64Marker, kZip64Marker, 0, 0};
  return EncodeZip64Block({uncompressed_size, compressed_size, 0, 0}, both);
}

// The limits this archiver writes by: none reached when Zip64 is off (its checks
// refuse instead), all of them when it is always on.
Zip64Limits LimitsFor(TZip64Mode mode) {
  if (mode == zmDisabled) return {UINT64_MAX, UINT64_MAX};
  if (mode == zmAlways) return {0, 0};
  return WriterZip64Limits();
}

uint32_t Field32(uint64_t value, const Zip64Limits& limits) {
  return value >= limits.size ? kZip64Marker : uint32_t(value);
}

// Whether an entry's sizes go in Zip64 blocks. Known before its data is written, since
// that data is never larger than its source.
bool HasZip64Sizes(const DirectoryItem& item, const Zip64Limits& limits) {
  return item.uncompressed_size >= limits.size;
}

// The central header's extra field: as read or made, unless Zip64 values are marked;
// then a Zip64 block of the marked values comes first, in place of any older one.
std::string CentralExtra(const DirectoryItem& item) {
  const CentralHeader& h = item.header;
  const Zip64Fields marked{h.uncompressed_size, h.compressed_size, h.local_header_offset,
                           h.disk_start};
  if (h.uncompressed_size != kZip64Marker && h.compressed_size != kZip64Marker &&
      h.local_header_offset != kZip64Marker) {
    return item.extra;
  }
  const Zip64Fields values{item.uncompressed_size, item.compressed_size,
                          item.local_header_offset, 0};
  return EncodeZip64Block(values, marked) + WithoutZip64Block(item.extra);
}

constexpr uint64_t kZip32Limit = 0xFFFFFFFFu;
constexpr size_t kMaxStoredNameLength = 259;
constexpr size_t kCopyBufferSize = 1 << 20;

std::u16string WithForwardSlashes(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return path;
}

std::u16string LastPart(const std::u16string& path) {
  return path.substr(path.rfind(u'/') + 1);
}

// A mask without a folder part also matches by file name, so "*.bak" or
// "thumbs.db" work wherever the file lies.
bool MatchesPathOrName(const std::u16string& path, const std::vector<std::u16string>& masks) {
  for (const auto& mask : masks) {
    if (MatchesMask(path, mask)) return true;
    if (mask.find(u'/') == std::u16string::npos && MatchesMask(LastPart(path), mask)) return true;
  }
  return false;
}

std::u16string AbsolutePath(std::u16string path) {
  if (!IsFullPath(Utf16ToUtf8(path))) path = Utf8ToUtf16(CurrentFolder()) + path;
  return NormalizePath(path);
}

// Reads a source file from the start, as the compressor asks. A read that fails is
// the entry's failure, told apart from failures of the archive it is written to.
class FileEntrySource : public EntrySource {
 public:
  using ReadFailure = std::function<EArchiverError(const std::string& detail)>;
  FileEntrySource(NativeFile& file, ReadFailure failure, uint64_t start = 0)
      : file_(file), failure_(std::move(failure)), start_(start), position_(start) {}
  size_t Read(void* buffer, size_t size) override {
    size_t n = 0;
    try {
      n = file_.ReadAt(position_, buffer, size);
    } catch (const NativeFileError& error) {
      throw failure_(error.what());
    }
    position_ += n;
    return n;
  }
  void Rewind() override { position_ = start_; }

 private:
  NativeFile& file_;
  ReadFailure failure_;
  uint64_t start_;
  uint64_t position_;
};

// Appends the entry's compressed bytes to the archive being written.
class ArchiveEntrySink : public EntrySink {
 public:
  ArchiveEntrySink(std::function<void(const void*, size_t)> append, std::function<void()> restart)
      : append_(std::move(append)), restart_(std::move(restart)) {}
  void Write(const void* data, size_t size) override { append_(data, size); }
  void Restart() override { restart_(); }

 private:
  std::function<void(const void*, size_t)> append_;
  std::function<void()> restart_;
};

// Files the pool compresses ahead of the walk. A file too large for an archive without
// Zip64 is left to the walk, which refuses it; so is a large one stored as it is, with
// nothing to gain.
bool CompressedAhead(const DirectoryItem& item, TZip64Mode mode) {
  return item.modified && !item.IsFolder() &&
         (mode != zmDisabled || item.uncompressed_size < kZip32Limit) &&
         (item.level > 0 || item.uncompressed_size <= ParallelDeflate::kWholeLimit);
}

// The points at which compressing chunk by chunk reports progress, kept for an entry
// compressed whole so that its events stay the same: before each chunk, and once more
// at the end when the data was copied chunk by chunk instead.
std::vector<uint64_t> ChunkProgressPoints(uint64_t size, int level, uint16_t method) {
  const uint64_t chunk = DeflateChunkSize(level, size);
  std::vector<uint64_t> points;
  for (uint64_t done = 0; done == 0 || done < size; done += chunk) points.push_back(done);
  if (size > 0 && method == 0 && (level <= 0 || size > chunk)) points.push_back(size);
  return points;
}

}  // namespace

std::u16string ZipArchiver::ResolveMask(const std::u16string& given) const {
  const std::u16string mask = WithForwardSlashes(given);
  const std::u16string base = Utf8ToUtf16(BaseFolder());
  std::u16string resolved;
  // Without drives, "/" starts a full path the way "C:\\" does elsewhere; a leading
  // backslash keeps meaning the base folder, as it does in lists written for Windows.
  const bool full_path = !kDriveLetters && !given.empty() && given[0] == u'/';
  if (mask.starts_with(u"//") || full_path) {
    resolved = mask;
  } else if (mask.starts_with(u"/")) {
    resolved = base + mask.substr(1);
  } else if (mask.starts_with(u"./")) {
    resolved = base + mask.substr(2);
  } else if ((kDriveLetters && mask.find(u':') != std::u16string::npos) ||
             mask.find(u"../") != std::u16string::npos) {
    resolved = mask;
  } else {
    resolved = base + mask;
  }
  return AbsolutePath(resolved);
}

void ZipArchiver::AddMatching(const std::u16string& file_mask, uint32_t search_attr,
                              const std::u16string& exclusion_mask) {
  RequireActive();
  if (read_only_) Raise(kErrCannotOpenArchive);
  std::lock_guard<std::recursive_mutex> lock(ArchiverLock());
  RemoveLeftoversOnce();
  BeginUpdate();
  try {
    std::vector<std::u16string> exclusions;
    const auto add_exclusion = [&](const std::u16string& mask) {
      const std::u16string m = WithForwardSlashes(mask);
      exclusions.push_back(m.find(u'/') == std::u16string::npos ? m : ResolveMask(m));
    };
    if (!exclusion_mask.empty()) add_exclusion(exclusion_mask);
    for (const auto& mask : ExclusionMasks) add_exclusion(mask);
    // The archive never adds itself. Its name is compared as a name, not as a mask: a
    // "?" in it is no wildcard, and "T.ZIP" beside "t.zip" is another file where case counts.
    const std::u16string archive_key = FileNameKey(AbsolutePath(Utf8ToUtf16(path_)));

    FileSelector selector(Options.Recurse, search_attr,
                          [&](const std::u16string& path, bool is_folder) {
                            if (MatchesPathOrName(path, exclusions)) return false;
                            if (!is_folder && FileNameKey(path) == archive_key) return false;
                            if (is_folder || !OnConfirmProcessFile) return true;
                            bool confirm = true;
                            OnConfirmProcessFile(*this, path, poAdd, confirm);
                            return confirm;
                          });
    const std::u16string mask = WithForwardSlashes(file_mask);
    const bool has_folder_part = mask.find(u'/') != std::u16string::npos;
    for (const auto& found : selector.Select(ResolveMask(file_mask), has_folder_part)) {
      AddFoundFile(found);
    }
  } catch (...) {
    update_depth_ = 0;
    items_ = rollback_items_;
    throw;
  }
  EndUpdate();
}

void ZipArchiver::AddFoundFile(const FoundFile& found) {
  const bool is_folder = found.status.is_dir;
  std::u16string name = MakeStoredName(found.path, Utf8ToUtf16(BaseFolder()), Options.StorePath,
                                       is_folder);
  if (name.empty()) return;
  uint32_t attributes = found.status.attributes ? found.status.attributes : faArchive;
  std::string comment;
  if (OnStoreFile) {
    std::u16string shown = name;
    OnStoreFile(*this, shown, attributes, comment, found.path);
    name = WithForwardSlashes(shown);
    if (name.empty()) return;
  }

  const std::optional<size_t> existing = items_.Find(name);
  if (existing && !ShouldReplace(items_[*existing], found, name)) return;

  DirectoryItem item;
  item.name = name;
  const EncodedName encoded = EncodeStoredName(name);
  item.byte_name = encoded.bytes;
  item.extra = UnicodeFilenames ? EncodeUnicodeNameBlock(name) : std::string();
  item.comment = comment;
  item.source_path = found.native_path;
  item.source_mtime = found.status.mtime;
  item.uncompressed_size = is_folder ? 0 : found.status.size;
  const bool stored = is_folder || MatchesPathOrName(found.path, NoCompressionMasks);
  item.level = stored ? 0 : mode_;

  CentralHeader& h = item.header;
  const bool windows_names = kHostSystem == 0 && !Options.OEMFileNames;
  h.version_made_by = windows_names ? 0x0B14 : uint16_t((kHostSystem << 8) | 20);
  h.version_needed = windows_names ? 0x0B14 : 20;
  h.flags = uint16_t((is_folder ? kFlagFolder : 0) | (encoded.utf8_flag ? kFlagUtf8Name : 0));
  h.method = item.level > 0 ? 8 : 0;
  h.SetDosDateTime(ToDosDateTime(is_folder ? CurrentUnixTime() : found.status.mtime));
  h.crc32 = is_folder ? 0 : 0xFFFFFFFFu;
  h.name_length = uint16_t(std::min<size_t>(item.byte_name.size(), 0xFFFF));
  h.extra_length = uint16_t(item.extra.size());
  h.comment_length = uint16_t(item.comment.size());
  h.external_attributes = (found.status.unix_mode << 16) | (attributes & 0xFFFF);
  if (kHostSystem == 0) h.external_attributes = attributes;
  item.modified = true;

  if (existing) {
    // An entry added earlier in this transaction is still new to the archive.
    item.operation = items_[*existing].operation == poAdd ? poAdd : poUpdate;
    item.local_header_offset = items_[*existing].local_header_offset;
    item.zip64 = items_[*existing].zip64;
    items_[*existing] = std::move(item);
  } else {
    item.operation = poAdd;
    items_.Add(std::move(item));
  }
}

bool ZipArchiver::ShouldReplace(const DirectoryItem& existing, const FoundFile& found,
                                const std::u16string& name) {
  const uint32_t file_time = ToDosDateTime(found.status.mtime);
  switch (Options.OverwriteMode) {
    case omAlways: return true;
    case omNever: return false;
    case omIfNewer: return file_time > existing.header.DosDateTime();
    case omIfOlder: return file_time < existing.header.DosDateTime();
    case omPrompt: break;
  }
  TOverwriteAnswer answer = oaNo;
  if (OnConfirmOverwrite) OnConfirmOverwrite(*this, name, found.path, answer);
  if (answer == oaYesToAll) Options.OverwriteMode = omAlways;
  if (answer == oaNoToAll) Options.OverwriteMode = omNever;
  return answer == oaYes || answer == oaYesToAll;
}

size_t ZipArchiver::FirstChangedIndex() const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i >= rollback_items_.size() || items_[i].modified || items_[i].name != rollback_items_[i].name) {
      return i;
    }
  }
  return items_.size();
}

void ZipArchiver::Commit() {
  total_bytes_ = 0;
  done_bytes_ = 0;
  size_t count = 0;
  for (const auto& item : items_) {
    if (!item.modified) continue;
    if (count++ == 0) commit_operation_ = item.operation;
    total_bytes_ += item.uncompressed_size;
  }
  const size_t first = FirstChangedIndex();
  if (first == items_.size() && items_.size() == rollback_items_.size()) return;  // nothing to do
  if (!FireOverall(0.0, commit_operation_, ppStart)) {
    items_ = rollback_items_;
    return;
  }
  NoteOldExtents();

  // An archive that existed before it was opened is never cut open: the new one is
  // written beside it and takes its name when complete, so a crash leaves one or the
  // other. One this archiver created holds nothing older worth that copy.
  const bool beside = !created_here_;
  bool stopped = false;
  std::exception_ptr failure;
  try {
    if (beside) {
      WriteBesideOldArchive();
    } else {
      RewriteInPlace(first);
    }
  } catch (const Cancelled&) {
    stopped = true;
  } catch (const Aborted&) {
    stopped = true;
  } catch (...) {
    stopped = true;
    failure = std::current_exception();
  }
  if (stopped) {
    items_ = rollback_items_;
    try {
      UndoCommit(beside);
    } catch (...) {
      // The first failure is the one worth reporting.
      if (!failure) failure = std::current_exception();
    }
    ReleaseCommitFiles();
    if (failure) RethrowAsArchiverError(failure, kErrCannotWriteArchive, path_);
    return;
  }
  ReleaseCommitFiles();
  for (auto& item : items_) {
    item.modified = false;
    item.operation = poNone;
  }
  rollback_items_ = items_;
  if (beside) ReopenReplacedArchive();
  FireOverall(100.0, commit_operation_, ppEnd);
  if (Options.FlushBuffers && !beside) {
    try {
      file_.Sync();
    } catch (const NativeFileError& error) {
      throw MakeError(kErrCannotWriteArchive, path_, error.what());
    }
  }
}

void ZipArchiver::NoteOldExtents() {
  std::vector<uint64_t> offsets;
  for (const auto& item : rollback_items_) offsets.push_back(item.local_header_offset);
  offsets.push_back(directory_start_);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  old_extents_.clear();
  for (size_t k = 0; k + 1 < offsets.size(); ++k) {
    old_extents_.emplace_back(offsets[k], offsets[k + 1] - offsets[k]);
  }
}

void ZipArchiver::RewriteInPlace(size_t first) {
  // Every old entry from `first` on is moved aside and copied back after the new data.
  commit_start_ = directory_start_;
  for (size_t j = first; j < rollback_items_.size(); ++j) {
    commit_start_ = std::min(commit_start_, rollback_items_[j].local_header_offset);
  }
  SaveTail(commit_start_);
  tail_moved_ = true;
  file_.Truncate(commit_start_);
  write_position_ = commit_start_;
  WalkItems(first);
  WriteCentralDirectory();
  file_.Truncate(write_position_);
}

void ZipArchiver::WriteBesideOldArchive() {
  const std::string folder = FolderOf(path_);
  new_archive_ = std::make_unique<TemporaryFile>(folder, FileNameOf(path_));
  if (!new_archive_->file().IsOpen()) {
    throw MakeError(kErrCannotCreateFile, folder, new_archive_->file().OpenError());
  }
  old_archive_ = std::move(file_);
  file_ = std::move(new_archive_->file());
  copy_source_ = &old_archive_;
  copy_source_start_ = 0;
  write_position_ = 0;
  WalkItems(0);
  WriteCentralDirectory();
  if (const auto old = QueryFile(path_)) file_.ApplyAttributes(0, old->unix_mode & 07777);
  file_.Sync();
  file_.Close();
  // Windows replaces no file that is still open, so the old archive lets go of its
  // name first, and takes it up again should the new one fail to take its place.
  old_archive_.Close();
  if (!RenameReplacing(new_archive_->path(), path_)) {
    old_archive_ = NativeFile::OpenForUpdate(path_);
    throw MakeError(kErrCannotWriteArchive, path_, "The new archive cannot take the old one's place");
  }
  new_archive_->Release();
}

void ZipArchiver::UndoCommit(bool beside) {
  if (beside) {
    if (old_archive_.IsOpen()) {
      file_.Close();
      file_ = std::move(old_archive_);
    }
  } else if (tail_moved_) {
    RestoreTail();
  }
}

void ZipArchiver::ReleaseCommitFiles() {
  copy_source_ = nullptr;
  tail_.reset();
  new_archive_.reset();
  old_archive_.Close();
  tail_moved_ = false;
  tail_size_ = 0;
}

void ZipArchiver::ReopenReplacedArchive() {
  created_here_ = true;
  scanned_ = false;
  prefix_ = 0;
  file_ = NativeFile::OpenForUpdate(path_);
  if (!file_.IsOpen()) {
    const std::string detail = file_.OpenError();
    ResetState();
    throw MakeError(kErrCannotOpenArchive, {}, detail);
  }
}

void ZipArchiver::RemoveLeftoversOnce() {
  if (leftovers_removed_) return;
  leftovers_removed_ = true;
  RemoveLeftovers(FolderOf(path_), FileNameOf(path_));
  RemoveLeftovers(TemporaryFolder(), FileNameOf(path_));
}

std::string ZipArchiver::TemporaryFolder() const {
  return WithTrailingSeparator(TempDir.empty() ? TemporaryDirectory() : NativePath(TempDir));
}

void ZipArchiver::WalkItems(size_t first) {
  std::vector<DeflateJob> jobs;
  for (size_t i = first; i < items_.size(); ++i) {
    const DirectoryItem& item = items_[i];
    if (CompressedAhead(item, Zip64Mode)) {
      jobs.push_back({item.source_path, item.uncompressed_size, item.level});
    }
  }
  ParallelDeflate ahead(std::move(jobs));
  struct AheadScope {
    ParallelDeflate*& current;
    ~AheadScope() { current = nullptr; }
  } scope{ahead_};
  ahead_ = &ahead;
  // Items keep their place in the job order even when one is removed, so the walk
  // counts them as it passes.
  size_t next_job = 0;
  for (size_t i = first; i < items_.size();) {
    if (items_[i].modified) {
      std::optional<size_t> job;
      if (CompressedAhead(items_[i], Zip64Mode)) job = next_job++;
      if (WriteItemWithRetry(i, job) == EntryOutcome::kSkipped) continue;  // item was removed
    } else {
      CopyBackEntry(items_[i]);
    }
    ++i;
  }
}

ZipArchiver::EntryOutcome ZipArchiver::WriteItemWithRetry(size_t index, std::optional<size_t> job) {
  for (;;) {
    const uint64_t entry_start = write_position_;
    try {
      // A retry reads the file again: whatever failed may have been put right.
      WriteEntry(items_[index], std::exchange(job, std::nullopt));
      done_bytes_ += items_[index].uncompressed_size;
      return EntryOutcome::kDone;
    } catch (const EArchiverError& error) {
      file_.Truncate(entry_start);
      write_position_ = entry_start;
      DirectoryItem& item = items_[index];
      const std::u16string shown =
          item.operation == poUpdate ? item.name : Utf8ToUtf16(item.source_path);
      const TFileFailureAction action = ReportFailure(shown, item.operation, error);
      if (action == fxaRetry) continue;
      if (action == fxaAbort) throw Aborted{};
      done_bytes_ += item.uncompressed_size;
      const std::optional<size_t> old = rollback_items_.Find(item.name);
      if (item.operation == poUpdate && old) {
        // The replaced entry keeps its old data.
        items_[index] = rollback_items_[*old];
        CopyBackEntry(items_[index]);
        return EntryOutcome::kDone;
      }
      items_.RemoveAt(index);
      return EntryOutcome::kSkipped;
    }
  }
}

void ZipArchiver::WriteEntry(DirectoryItem& item, std::optional<size_t> job) {
  const std::u16string shown = Utf8ToUtf16(item.source_path);
  if (!FireFile(shown, 0.0, item.operation, ppStart)) throw Cancelled{};
  if (item.name.size() > kMaxStoredNameLength) throw MakeError(kErrNameTooLong, Utf16ToUtf8(item.name));
  const bool refuse_zip64 = Zip64Mode == zmDisabled;
  if (refuse_zip64 && write_position_ >= kZip32Limit) {
    throw MakeError(kErrZip64NeededOffset, item.source_path);
  }
  const Zip64Limits limits = LimitsFor(Zip64Mode);
  item.local_header_offset = write_position_;
  item.header.local_header_offset = Field32(write_position_, limits);
  if (item.IsFolder()) {
    WriteFolderEntry(item);
    if (!FireFile(shown, 100.0, item.operation, ppEnd)) throw Cancelled{};
    return;
  }

  const uint64_t size = item.uncompressed_size;
  const CompressedEntry result = job && ahead_ ? WritePreparedData(item, *job, shown)
                                               : WriteSourceData(item, shown);
  if (result.cancelled) throw Cancelled{};
  if (result.uncompressed_size != size) {
    throw MakeError(kErrInvalidCompressedSize, "rfs.size = " + std::to_string(size) +
                                                   ", count = " + std::to_string(result.uncompressed_size));
  }
  if (refuse_zip64 && (result.compressed_size >= kZip32Limit || write_position_ >= kZip32Limit)) {
    throw MakeError(kErrZip64NeededSize, item.source_path);
  }

  const bool zip64_sizes = HasZip64Sizes(item, limits);
  item.header.method = result.method;
  item.header.crc32 = result.crc32;
  item.header.compressed_size = zip64_sizes ? kZip64Marker : uint32_t(result.compressed_size);
  item.header.uncompressed_size = zip64_sizes ? kZip64Marker : uint32_t(result.uncompressed_size);
  item.compressed_size = result.compressed_size;
  item.zip64 = zip64_sizes || item.header.local_header_offset == kZip64Marker;
  if (item.zip64) {
    item.header.version_needed =
        uint16_t((item.header.version_needed & 0xFF00) | kVersionWithZip64);
  }
  const auto final_header = EncodeLocalHeader(LocalHeaderOf(item, zip64_sizes));
  WriteArchiveAt(item.local_header_offset, final_header.data(), final_header.size());
  if (zip64_sizes) {
    const std::string block = LocalZip64Block(result.uncompressed_size, result.compressed_size);
    WriteArchiveAt(item.local_header_offset + kLocalHeaderSize + item.byte_name.size(), block.data(),
                   block.size());
  }
  if (!FireFile(shown, 100.0, item.operation, ppEnd)) throw Cancelled{};
}

bool ZipArchiver::ReportEntryProgress(const DirectoryItem& item, const std::u16string& shown,
                                      uint64_t done) {
  const uint64_t size = item.uncompressed_size;
  const double file_progress = size ? 100.0 * double(done) / double(size) : 100.0;
  if (!FireFile(shown, file_progress, item.operation, ppProcess)) return false;
  const double overall = total_bytes_ ? 100.0 * double(done_bytes_ + done) / double(total_bytes_) : 50.0;
  return FireOverall(std::min(overall, 100.0), item.operation, ppProcess);
}

void ZipArchiver::RaisePieceFailure(const DeflatedPiece& piece, const DirectoryItem& item) const {
  switch (piece.failure) {
    case DeflatedPiece::Failure::kNone: return;
    case DeflatedPiece::Failure::kCannotOpen: throw MakeError(kErrCannotOpenFile, item.source_path);
    case DeflatedPiece::Failure::kCannotRead:
      throw MakeError(kErrCannotReadFile, item.source_path, piece.detail);
    case DeflatedPiece::Failure::kCompression:
      throw MakeError(kErrCompressionLibrary, item.source_path, piece.detail);
  }
}

// Provisional values, until the data is written; the item's own header keeps the old
// entry's values meanwhile, in case this one fails and the old one stays.
static LocalHeader ProvisionalLocalHeader(const DirectoryItem& item, const Zip64Limits& limits) {
  LocalHeader local = LocalHeaderOf(item, HasZip64Sizes(item, limits));
  local.crc32 = 0xFFFFFFFFu;
  if (local.compressed_size != kZip64Marker) local.compressed_size = 0;
  if (local.uncompressed_size != kZip64Marker) local.uncompressed_size = 0;
  return local;
}

CompressedEntry ZipArchiver::WriteSourceData(DirectoryItem& item, const std::u16string& shown) {
  NativeFile source = NativeFile::OpenForReading(item.source_path);
  if (!source.IsOpen()) throw MakeError(kErrCannotOpenFile, item.source_path);
  if (Zip64Mode == zmDisabled && item.uncompressed_size >= kZip32Limit) {
    throw MakeError(kErrZip64NeededSize, item.source_path);
  }
  source.AdviseSequential();
  AppendLocalRecord(ProvisionalLocalHeader(item, LimitsFor(Zip64Mode)), item);

  const uint64_t data_start = write_position_;
  ArchiveEntrySink sink([this](const void* data, size_t size) { AppendToArchive(data, size); },
                        [this, data_start] {
                          file_.Truncate(data_start);
                          write_position_ = data_start;
                        });
  FileEntrySource input(source, [&](const std::string& detail) {
    return MakeError(kErrCannotReadFile, item.source_path, detail);
  });
  try {
    return CompressEntry(input, item.uncompressed_size, item.level, sink,
                         [&](uint64_t done) { return ReportEntryProgress(item, shown, done); });
  } catch (const CompressionError& error) {
    throw MakeError(kErrCompressionLibrary, item.source_path, error.what());
  }
}

CompressedEntry ZipArchiver::WritePreparedData(DirectoryItem& item, size_t job,
                                               const std::u16string& shown) {
  std::optional<DeflatedPiece> first = ahead_->Take(job);
  if (!first) return WriteSourceData(item, shown);
  if (first->failure == DeflatedPiece::Failure::kCannotOpen) RaisePieceFailure(*first, item);
  AppendLocalRecord(ProvisionalLocalHeader(item, LimitsFor(Zip64Mode)), item);
  const uint64_t data_start = write_position_;
  if (ahead_->PieceCount(job) > 1) {
    return WriteBlocks(item, job, std::move(*first), shown, data_start);
  }

  CompressedEntry entry;
  for (const uint64_t done : ChunkProgressPoints(item.uncompressed_size, item.level, first->method)) {
    if (!ReportEntryProgress(item, shown, done)) {
      entry.cancelled = true;
      return entry;
    }
  }
  RaisePieceFailure(*first, item);
  entry.uncompressed_size = first->source_bytes;
  if (entry.uncompressed_size != item.uncompressed_size) return entry;
  AppendToArchive(first->data.data(), first->data.size());
  entry.method = first->method;
  entry.crc32 = first->crc32;
  entry.compressed_size = first->data.size();
  return entry;
}

CompressedEntry ZipArchiver::WriteBlocks(DirectoryItem& item, size_t job, DeflatedPiece&& first,
                                         const std::u16string& shown, uint64_t data_start) {
  const size_t count = ahead_->PieceCount(job);
  uint32_t crc = Crc32{}.Value();
  CompressedEntry entry;
  entry.method = 8;
  std::optional<DeflatedPiece> piece = std::move(first);
  for (size_t k = 0; k < count; ++k) {
    if (!ReportEntryProgress(item, shown, entry.uncompressed_size)) {
      entry.cancelled = true;
      return entry;
    }
    if (k > 0) piece = ahead_->Take(job);
    RaisePieceFailure(*piece, item);
    crc = Crc32Combine(crc, piece->crc32, piece->checked_bytes);
    entry.uncompressed_size += piece->source_bytes;
    AppendToArchive(piece->data.data(), piece->data.size());
    entry.compressed_size += piece->data.size();
    if (k == 0 && entry.compressed_size >= piece->source_bytes) {
      // The data does not compress: spend no more deflate time on it.
      ahead_->Skip(job);
      return StoreFromSource(item, shown, data_start, piece->source);
    }
  }
  entry.crc32 = crc;
  if (entry.compressed_size < entry.uncompressed_size || entry.uncompressed_size != item.uncompressed_size) {
    return entry;
  }
  return StoreFromSource(item, shown, data_start, {});
}

CompressedEntry ZipArchiver::StoreFromSource(DirectoryItem& item, const std::u16string& shown,
                                             uint64_t data_start,
                                             const std::vector<unsigned char>& first_bytes) {
  file_.Truncate(data_start);
  write_position_ = data_start;
  NativeFile source = NativeFile::OpenForReading(item.source_path);
  if (!source.IsOpen()) throw MakeError(kErrCannotOpenFile, item.source_path);
  source.AdviseSequential();
  ArchiveEntrySink sink([this](const void* data, size_t size) { AppendToArchive(data, size); },
                        [this, data_start] {
                          file_.Truncate(data_start);
                          write_position_ = data_start;
                        });
  FileEntrySource input(
      source, [&](const std::string& detail) { return MakeError(kErrCannotReadFile, item.source_path, detail); },
      first_bytes.size());
  CompressedEntry so_far;
  Crc32 crc;
  crc.Update(first_bytes.data(), first_bytes.size());
  sink.Write(first_bytes.data(), first_bytes.size());
  so_far.uncompressed_size = first_bytes.size();
  return StoreRest(input, DeflateChunkSize(item.level, item.uncompressed_size), so_far, crc, sink,
                   [&](uint64_t done) { return ReportEntryProgress(item, shown, done); });
}

void ZipArchiver::WriteFolderEntry(DirectoryItem& item) {
  item.header.method = 0;
  item.header.crc32 = 0;
  item.header.compressed_size = 0;
  item.header.uncompressed_size = 0;
  item.compressed_size = 0;
  AppendLocalRecord(LocalHeaderOf(item), item);
}

void ZipArchiver::AppendLocalRecord(const LocalHeader& local, const DirectoryItem& item) {
  const auto fixed = EncodeLocalHeader(local);
  std::string record(reinterpret_cast<const char*>(fixed.data()), fixed.size());
  record += item.byte_name;
  // Provisional sizes; the entry's end writes the real ones.
  if (local.extra_length > item.extra.size()) record += LocalZip64Block(0, 0);
  record += item.extra;
  AppendToArchive(record.data(), record.size());
}

void ZipArchiver::CopyBackEntry(DirectoryItem& item) {
  const uint64_t old_offset = item.local_header_offset;
  const auto extent = std::lower_bound(old_extents_.begin(), old_extents_.end(),
                                       std::make_pair(old_offset, uint64_t{0}));
  const uint64_t length = extent != old_extents_.end() && extent->first == old_offset ? extent->second : 0;
  if (Zip64Mode == zmDisabled && write_position_ != old_offset &&
      (item.zip64 || write_position_ >= kZip32Limit)) {
    throw MakeError(kErrZip64NeededOffset, Utf16ToUtf8(item.name));
  }
  item.local_header_offset = write_position_;
  // An offset that was in a Zip64 block stays there; its block is written anew.
  if (item.header.local_header_offset != kZip64Marker) {
    item.header.local_header_offset = Field32(write_position_, LimitsFor(Zip64Mode));
  }
  item.zip64 |= item.header.local_header_offset == kZip64Marker;
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(length, kCopyBufferSize)));
  for (uint64_t done = 0; done < length;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
    const size_t got = copy_source_->ReadAt(old_offset - copy_source_start_ + done, buffer.data(), want);
    if (got != want) throw MakeError(kErrCannotWriteArchive, path_, "The saved copy of the archive is incomplete");
    AppendToArchive(buffer.data(), got);
    done += got;
  }
}

void ZipArchiver::WriteCentralDirectory() {
  const bool refuse_zip64 = Zip64Mode == zmDisabled;
  if (refuse_zip64 && (items_.size() > 0xFFFF || write_position_ >= kZip32Limit)) {
    throw MakeError(kErrZip64NeededOffset, path_);
  }
  std::string directory;
  for (auto& item : items_) {
    const std::string extra = CentralExtra(item);
    item.header.name_length = uint16_t(item.byte_name.size());
    item.header.extra_length = uint16_t(extra.size());
    item.header.comment_length = uint16_t(item.comment.size());
    const auto fixed = EncodeCentralHeader(item.header);
    directory.append(reinterpret_cast<const char*>(fixed.data()), fixed.size());
    directory += item.byte_name;
    directory += extra;
    directory += item.comment;
  }
  if (refuse_zip64 && directory.size() >= kZip32Limit) throw MakeError(kErrZip64NeededOffset, path_);
  directory_start_ = write_position_;
  directory += EndRecords(items_.size(), directory.size());
  AppendToArchive(directory.data(), directory.size());
}

std::string ZipArchiver::EndRecords(uint64_t entries, uint64_t directory_size) const {
  const Zip64Limits limits = LimitsFor(Zip64Mode);
  const bool zip64 = entries > limits.entries || directory_size >= limits.size ||
                     directory_start_ >= limits.size;
  const std::string end_record =
      EncodeEndRecord(entries > limits.entries ? 0xFFFF : uint16_t(entries),
                      Field32(directory_size, limits), Field32(directory_start_, limits), comment_);
  if (!zip64) return end_record;
  return EncodeZip64EndRecords(entries, directory_size, directory_start_) + end_record;
}

void ZipArchiver::AppendToArchive(const void* data, size_t size) {
  WriteArchiveAt(write_position_, data, size);
  write_position_ += size;
}

void ZipArchiver::WriteArchiveAt(uint64_t offset, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    done += file_.WriteAt(offset + done, bytes + done, size - done);
    if (done < size) {
      bool cancel = true;
      if (OnDiskFull) OnDiskFull(*this, cancel);
      if (cancel) throw Cancelled{};
    }
  }
}

void ZipArchiver::SaveTail(uint64_t start) {
  const uint64_t size = file_.Size();
  tail_size_ = size > start ? size - start : 0;
  copy_source_start_ = start;
  if (tail_size_ == 0) return;
  const std::string folder = TemporaryFolder();
  tail_ = std::make_unique<TemporaryFile>(folder, FileNameOf(path_));
  NativeFile& tail = tail_->file();
  if (!tail.IsOpen()) throw MakeError(kErrCannotCreateFile, folder, tail.OpenError());
  copy_source_ = &tail;
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(tail_size_, kCopyBufferSize)));
  for (uint64_t done = 0; done < tail_size_;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), tail_size_ - done));
    const size_t got = file_.ReadAt(start + done, buffer.data(), want);
    if (got != want) throw MakeError(kErrCannotWriteArchive, path_, "The archive changed while it was updated");
    for (size_t written = 0; written < got;) {
      written += tail.WriteAt(done + written, buffer.data() + written, got - written);
      if (written < got) {
        bool cancel = true;
        if (OnDiskFull) OnDiskFull(*this, cancel);
        if (cancel) throw Cancelled{};
      }
    }
    done += got;
  }
}

void ZipArchiver::RestoreTail() {
  file_.Truncate(commit_start_);
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(tail_size_, kCopyBufferSize)));
  for (uint64_t done = 0; done < tail_size_;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), tail_size_ - done));
    const size_t got = copy_source_->ReadAt(done, buffer.data(), want);
    if (got != want) throw MakeError(kErrCannotWriteArchive, path_, "The saved copy of the archive is incomplete");
    if (file_.WriteAt(commit_start_ + done, buffer.data(), got) != got) {
      throw MakeError(kErrCannotWriteArchive, path_, "The disk is full; the archive could not be restored");
    }
    done += got;
  }
}

}  // namespace kestrova
