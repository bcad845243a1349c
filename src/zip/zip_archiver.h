// ZipArchiver: creates, updates and extracts ZIP archives.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zip/archiver_error.h"
#include "zip/archiver_types.h"
#include "zip/directory_item.h"
#include "base/files.h"
#include "base/native_file.h"
#include "base/paths.h"
#include "zip/host_system.h"
#include "zip/local_header.h"

namespace kestrova {

struct EndRecord;
struct FoundFile;
class ExtractSink;
class StagedFiles;
class TemporaryFile;
struct ExtractionWalk;
struct ExtractedFile;
class ParallelDeflate;
struct CompressedEntry;
struct DeflatedPiece;

/// One archive operation's component: open an archive, add files selected by masks
/// under BaseDir (each AddMatching a committed transaction), or extract the entries
/// selected by FileMasks into BaseDir. Per-entry failures go to OnProcessFileFailure;
/// failures outside the entry walk raise EArchiverError. Events run synchronously on
/// the calling thread.
class ZipArchiver {
 public:
  ZipArchiver();
  ~ZipArchiver();
  ZipArchiver(const ZipArchiver&) = delete;
  ZipArchiver& operator=(const ZipArchiver&) = delete;

  // Properties.
  std::u16string Name;  // prefixes error texts when not empty
  std::u16string FileName;
  std::u16string BaseDir;
  std::u16string TempDir;
  ArchiverOptions Options;
  std::vector<std::u16string> FileMasks;
  std::vector<std::u16string> ExclusionMasks;
  std::vector<std::u16string> NoCompressionMasks;
  bool UnicodeFilenames = true;
  /// zmAuto writes Zip64 records only where an archive needs them: past 65,535
  /// entries, or for an entry or offset of 4 GiB or more.
  TZip64Mode Zip64Mode = zmAuto;
  bool ExtractCorruptedFiles = false;
  /// Opens archives without a usable directory by scanning for local headers.
  bool OpenCorruptedArchives = true;
  /// ExtractMatching leaves each file it writes beside its target, and the targets as
  /// they are, until CommitStagedFiles: the entries of several archives then go in
  /// together or not at all.
  bool StageExtraction = false;

  TCompressionLevel CompressionLevel() const { return level_; }
  void SetCompressionLevel(TCompressionLevel level);
  /// The deflate level, 0-9; above 9 raises error 5.
  uint8_t CompressionMode() const { return mode_; }
  void SetCompressionMode(int mode);

  // Events.
  OverallProgressEvent OnOverallProgress;
  FileProgressEvent OnFileProgress;
  ConfirmOverwriteEvent OnConfirmOverwrite;
  ConfirmProcessFileEvent OnConfirmProcessFile;
  AfterOpenEvent AfterOpen;
  ProcessFileFailureEvent OnProcessFileFailure;
  DiskFullEvent OnDiskFull;
  StoreFileEvent OnStoreFile;
  ExtractFileEvent OnExtractFile;

  /// Opens FileName with fmCreate, fmOpenReadWriteDenyWrite or fmOpenReadDenyNone.
  void Open(uint16_t mode);
  /// Opens FileName for update when possible, else read-only; creates a missing one.
  void Open();
  /// Writes the end record of a still empty archive and releases everything.
  void Close();
  bool Active() const { return file_.IsOpen(); }

  /// Adds the files and folders `file_mask` selects and commits them. The first commit
  /// onto an archive that existed before Open writes a new archive beside it, which
  /// replaces it when complete; later ones update the file in place.
  void AddMatching(const std::u16string& file_mask, uint32_t search_attr = kDefaultSearchAttr,
                   const std::u16string& exclusion_mask = {});
  void BeginUpdate();
  /// The outermost call commits.
  void EndUpdate();
  bool InUpdate() const { return update_depth_ > 0; }

  /// Extracts the entries FileMasks selects into BaseDir; raises an error before
  /// writing anything when their sizes exceed the free space there.
  void ExtractMatching();
  /// Decompresses the selected entries and checks them, writing nothing.
  void TestMatching();
  /// Puts every staged file in place. When one target cannot be replaced, those
  /// already replaced get their old files back and error 19 names that target.
  /// Nothing stays staged afterwards.
  void CommitStagedFiles();
  /// Removes the staged files and the folders made for them; the targets stay as they
  /// were. Also done when the archiver goes.
  void DiscardStagedFiles();
  size_t StagedCount() const;
  /// Hands the staged files to a caller that puts them in place itself.
  std::unique_ptr<StagedFiles> TakeStagedFiles();

  const DirectoryItemList& Items() const { return items_; }
  size_t Count() const { return items_.size(); }
  const std::string& Comment() const { return comment_; }
  /// Bytes in front of the first entry that the recorded offsets do not count.
  uint64_t PrefixLength() const { return prefix_; }
  /// True when the directory was rebuilt by scanning a damaged archive.
  bool OpenedByScan() const { return scanned_; }

 private:
  struct Cancelled {};  // the user or a full disk cancelled the operation
  struct Aborted {};    // a failure handler chose fxaAbort
  enum class EntryOutcome { kDone, kSkipped };

  // zip_archiver.cpp
  [[noreturn]] void Raise(int code, const std::string& argument = {}) const;
  /// `detail`, the system's or a library's words, follows the message after ". ".
  EArchiverError MakeError(int code, const std::string& argument = {},
                           const std::string& detail = {}) const;
  /// Inside a catch block: passes an archiver error on, and turns any other failure
  /// into the archiver error `code` about `argument`.
  [[noreturn]] void RethrowAsArchiverError(int code, const std::string& argument) const;
  [[noreturn]] void RethrowAsArchiverError(std::exception_ptr failure, int code,
                                           const std::string& argument) const;
  TFileFailureAction ReportFailure(const std::u16string& file_name, TProcessOperation operation,
                                   const EArchiverError& error);
  bool FireOverall(double progress, TProcessOperation operation, TProgressPhase phase);
  bool FireFile(const std::u16string& file_name, double progress, TProcessOperation operation,
                TProgressPhase phase);
  void RequireActive() const;
  std::string NativePath(const std::u16string& path) const;
  std::string BaseFolder() const;
  /// Reads the archive as an entry's work does: a failure is an archiver error.
  size_t ReadArchive(uint64_t offset, void* buffer, size_t size) const;
  void ResetState();

  // reader.cpp
  void ReadDirectory();
  bool ReadCentralDirectory(const EndRecord& end, uint64_t file_size);
  void DetectPrefix(uint64_t file_size);
  void ScanDamagedArchive(uint64_t file_size);

  // writer.cpp
  std::u16string ResolveMask(const std::u16string& mask) const;
  void AddFoundFile(const FoundFile& found);
  bool ShouldReplace(const DirectoryItem& existing, const FoundFile& found,
                     const std::u16string& name);
  void Commit();
  void NoteOldExtents();
  void RewriteInPlace(size_t first);
  void WriteBesideOldArchive();
  void UndoCommit(bool beside);
  void ReleaseCommitFiles();
  void ReopenReplacedArchive();
  void RemoveLeftoversOnce();
  std::string TemporaryFolder() const;
  size_t FirstChangedIndex() const;
  void WalkItems(size_t first);
  /// `job`: the item's work in ahead_, used by the first attempt only.
  EntryOutcome WriteItemWithRetry(size_t index, std::optional<size_t> job);
  void WriteEntry(DirectoryItem& item, std::optional<size_t> job);
  CompressedEntry WriteSourceData(DirectoryItem& item, const std::u16string& shown);
  CompressedEntry WritePreparedData(DirectoryItem& item, size_t job, const std::u16string& shown);
  CompressedEntry WriteBlocks(DirectoryItem& item, size_t job, DeflatedPiece&& first,
                              const std::u16string& shown, uint64_t data_start);
  /// Writes the source unchanged from the start of its data, `first_bytes` taken as read.
  CompressedEntry StoreFromSource(DirectoryItem& item, const std::u16string& shown,
                                  uint64_t data_start, const std::vector<unsigned char>& first_bytes);
  void RaisePieceFailure(const DeflatedPiece& piece, const DirectoryItem& item) const;
  bool ReportEntryProgress(const DirectoryItem& item, const std::u16string& shown, uint64_t done);
  void WriteFolderEntry(DirectoryItem& item);
  void AppendLocalRecord(const LocalHeader& local, const DirectoryItem& item);
  void CopyBackEntry(DirectoryItem& item);
  void WriteCentralDirectory();
  /// The end-of-directory records, with the Zip64 ones in front when the archive needs them.
  std::string EndRecords(uint64_t entries, uint64_t directory_size) const;
  void AppendToArchive(const void* data, size_t size);
  void WriteArchiveAt(uint64_t offset, const void* data, size_t size);
  void SaveTail(uint64_t start);
  void RestoreTail();

  // extractor.cpp
  void WalkSelected(TProcessOperation operation);
  void SelectEntries();
  /// Raises an error when the selected entries cannot fit on the target's disk.
  void RequireFreeSpace() const;
  EntryOutcome ExtractEntry(DirectoryItem& item, TProcessOperation operation,
                            double done, size_t selected);
  /// Steps of ExtractEntry after the events that may rename the entry.
  EntryOutcome PlaceEntry(DirectoryItem& item, const std::u16string& name, uint32_t attributes,
                          TProcessOperation operation, double done, size_t selected);
  void EnsureFolders(const std::string& folders);
  /// Prepares the selected entries from `from` on, ahead of the walk, as far as it may.
  void LookAhead(size_t from);
  bool PrepareEntry(size_t index);
  void WriteAhead(const DirectoryItem& item, const std::string& target,
                  const std::optional<FileStatus>& existing);
  /// ExtractEntry for the entry at the front of the prepared ones.
  EntryOutcome ExtractPrepared(DirectoryItem& item, double done, size_t selected);
  void PutInPlace(ExtractedFile& file, const std::string& target);
  EntryOutcome ExtractFileData(DirectoryItem& item, const std::string& target, uint32_t attributes,
                               TProcessOperation operation, double done, size_t selected);
  bool ConfirmOverwrite(const DirectoryItem& item, const std::string& target,
                        const FileStatus& existing);
  bool Decompress(DirectoryItem& item, ExtractSink& sink, TProcessOperation operation,
                  double done, size_t selected, const std::u16string& event_name);

  TCompressionLevel level_ = clFastest;
  uint8_t mode_ = 1;

  NativeFile file_;
  std::string path_;  // native path of the open archive
  bool read_only_ = false;
  bool scanned_ = false;
  bool created_here_ = false;      // holds nothing from before this archiver opened it
  bool leftovers_removed_ = false;
  DirectoryItemList items_;
  DirectoryItemList rollback_items_;
  int update_depth_ = 0;
  std::string comment_;
  uint64_t directory_start_ = 0;  // where the entries end and the directory begins
  uint64_t prefix_ = 0;

  // State of the running commit.
  uint64_t write_position_ = 0;
  uint64_t commit_start_ = 0;
  uint64_t done_bytes_ = 0;
  uint64_t total_bytes_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> old_extents_;  // offset, length
  std::unique_ptr<TemporaryFile> tail_;         // old entries moved aside, in place
  std::unique_ptr<TemporaryFile> new_archive_;  // the archive written beside the old one
  NativeFile old_archive_;                      // the old one meanwhile
  const NativeFile* copy_source_ = nullptr;     // where unchanged entries are copied from
  uint64_t copy_source_start_ = 0;              // archive offset of its first byte
  uint64_t tail_size_ = 0;
  bool tail_moved_ = false;
  TProcessOperation commit_operation_ = poAdd;
  ParallelDeflate* ahead_ = nullptr;  // compressing the walk's files ahead of it

  // What the running extraction keeps from entry to entry; set only during the walk.
  ExtractionWalk* walk_ = nullptr;
  // Files extracted with StageExtraction, across archives opened one after the other.
  std::unique_ptr<StagedFiles> staged_;
};

}  // namespace kestrova
