// ZipArchiver: extracting and testing the entries FileMasks selects.
#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <utility>

#include "base/text.h"
#include "zip/archiver_lock.h"
#include "zip/entry_data.h"
#include "zip/entry_names.h"
#include "zip/inflate_stream.h"
#include "zip/parallel_extract.h"
#include "zip/staged_files.h"
#include "zip/temporary_file.h"
#include "zip/wildcard.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr uint32_t kFolderLikeBits = faHidden | faSysFile | faVolumeID | faDirectory;
// Discards the bytes; testing only needs their size and CRC.
class NullExtractSink : public ExtractSink {
 public:
  void Write(const void*, size_t) override {}
};

std::u16string MaskForEntries(std::u16string mask) {
  std::replace(mask.begin(), mask.end(), u'\\', u'/');
  return mask == u"*.*" ? u"*" : mask;
}

// The mode an extracted file gets: the stored Unix mode, else that of the file it
// replaces, so that an archive made where there are no modes does not take the
// execute permission away from an installed program.
uint32_t PermissionsFor(const DirectoryItem& item, uint32_t attributes,
                        const std::optional<FileStatus>& existing) {
  if (const uint32_t mode = item.UnixMode()) return mode;
  if (!existing || existing->unix_mode == 0) return 0;
  uint32_t mode = existing->unix_mode & 0777;
  if (attributes & faReadOnly) mode &= ~0222u;
  else mode |= 0200u;
  return mode;
}

bool IsIntact(const DirectoryItem& item, const InflatedEntry& result) {
  return !result.overrun && !result.damaged && result.produced == item.uncompressed_size &&
         result.crc32 == item.header.crc32;
}

std::u16string ShownName(std::u16string name) {
  if (NativeSeparator() != '/') std::replace(name.begin(), name.end(), u'/', u'\\');
  return name;
}

// How far the walk prepares entries ahead of the one it reports: enough to keep the
// workers busy while it names files and fires events, little enough that a cancel
// throws away little work and the files waiting for their names take little room.
constexpr size_t kAheadEntries = 64;
constexpr uint64_t kAheadBytes = 32 << 20;

// The options the decisions taken ahead rest on; an event handler that changes one makes
// the walk decide again.
struct DecisionOptions {
  TOverwriteMode overwrite;
  bool replace_read_only;
  bool set_attributes;
  bool create_dirs;
  bool operator==(const DecisionOptions&) const = default;
};

DecisionOptions DecisionOptionsOf(const ArchiverOptions& options) {
  return {options.OverwriteMode, options.ReplaceReadOnly, options.SetAttributes, options.CreateDirs};
}

bool IsFolderEntry(const DirectoryItem& item, const std::u16string& name) {
  return item.IsFolder() || (!name.empty() && (name.back() == u'/' || name.back() == u'\\'));
}

}  // namespace

// An entry prepared ahead of the walk: its folders made, its decisions taken and, for a
// file to write, its data going into a new file on the pool.
struct PreparedEntry {
  size_t index = 0;
  std::string folders;  // the folder path the entry needs, as the walk keys it
  std::string target;   // empty for a folder entry
  bool skip = false;    // the existing target stays
  bool written = false;
  DecisionOptions options{};
};

// Thousands of entries share their folders and their inflate buffers; working these out
// once per walk spares a system call for every folder level of every entry. Creating
// files costs the most, so the walk has entries written ahead of it on worker threads,
// as long as nothing it reports or decides on the way can come out differently.
struct ExtractionWalk {
  EntryInflater inflater;
  std::string base;
  std::unordered_set<std::string> folders;  // known to exist, created or found this walk
  std::unordered_set<std::string> cleared;  // leftovers of killed runs removed this walk

  std::unique_ptr<ParallelExtract> pool;
  std::optional<bool> unnamed_files;  // whether the target makes files without names
  std::deque<PreparedEntry> ahead;    // the selected entries from the next one on
  size_t next = 0;                    // where preparing goes on
  size_t blocked = SIZE_MAX;          // an entry that waits to be reached
  uint64_t ahead_bytes = 0;
  std::unordered_set<std::string> pending_targets;  // of prepared entries not yet reached
  std::vector<std::string> made_folders;            // made ahead, in order
  std::unordered_set<std::string> unclaimed;        // of those, none reached yet needs

  ~ExtractionWalk() { DropAhead(); }

  /// Makes the folders of `path` that are missing; false when one cannot be made, or
  /// would take the place of a file a prepared entry is to write.
  bool MakeFoldersAhead(const std::string& path) {
    if (this->folders.contains(path)) return true;
    for (size_t at = 1; at <= path.size(); ++at) {
      if (at != path.size() && !IsNativeSeparator(path[at])) continue;
      // A trailing separator names the folder just handled; taken as a folder of its
      // own it would count as found, and the entry reaching it would not claim it.
      if (at == path.size() && IsNativeSeparator(path.back())) break;
      std::string folder = path.substr(0, at);
      if (this->folders.contains(folder) || unclaimed.contains(folder)) continue;
      if (pending_targets.contains(folder)) return false;
      if (const auto status = QueryFile(folder)) {
        if (!status->is_dir) return false;
        this->folders.insert(std::move(folder));
        continue;
      }
      if (!CreateFolder(folder)) return false;
      made_folders.push_back(folder);
      unclaimed.insert(std::move(folder));
    }
    return true;
  }

  /// Forgets everything prepared: the files written go, and the folders made for
  /// entries not reached go when nothing else has come into them.
  void DropAhead() {
    pool.reset();
    ahead.clear();
    pending_targets.clear();
    ahead_bytes = 0;
    next = 0;
    blocked = SIZE_MAX;
    for (auto it = made_folders.rbegin(); it != made_folders.rend(); ++it) {
      if (unclaimed.contains(*it)) RemoveEmptyFolder(*it);
    }
    made_folders.clear();
    unclaimed.clear();
  }
};

void ZipArchiver::ExtractMatching() { WalkSelected(poExtract); }

void ZipArchiver::TestMatching() { WalkSelected(poTest); }

void ZipArchiver::CommitStagedFiles() {
  if (const auto failed = staged_->Commit()) throw MakeError(kErrCannotCreateFile, *failed);
}

void ZipArchiver::DiscardStagedFiles() { staged_->Discard(); }

size_t ZipArchiver::StagedCount() const { return staged_->Count(); }

std::unique_ptr<StagedFiles> ZipArchiver::TakeStagedFiles() {
  return std::exchange(staged_, std::make_unique<StagedFiles>());
}

void ZipArchiver::SelectEntries() {
  std::vector<std::u16string> masks, exclusions;
  for (const auto& mask : FileMasks) masks.push_back(MaskForEntries(mask));
  for (const auto& mask : ExclusionMasks) exclusions.push_back(MaskForEntries(mask));
  for (auto& item : items_) {
    const uint32_t special = item.header.external_attributes & kFolderLikeBits;
    item.selected = MatchesAnyMask(item.name, masks) && !MatchesAnyMask(item.name, exclusions) &&
                    (special & Options.SearchAttr) == special;
  }
}

void ZipArchiver::WalkSelected(TProcessOperation operation) {
  RequireActive();
  if (InUpdate()) Raise(kErrUpdateNotEnded);
  std::lock_guard<std::recursive_mutex> lock(ArchiverLock());
  SelectEntries();
  const size_t selected = static_cast<size_t>(
      std::count_if(items_.begin(), items_.end(), [](const DirectoryItem& i) { return i.selected; }));
  if (operation == poExtract) RequireFreeSpace();
  if (!FireOverall(0.0, operation, ppStart)) return;
  std::optional<ExtractionWalk> started;
  try {
    started.emplace();
  } catch (const CompressionError& error) {
    throw MakeError(kErrCompressionLibrary, path_, error.what());
  }
  ExtractionWalk& walk = *started;
  walk.base = BaseFolder();
  // An event handler may start another walk on this archiver; the outer one goes on
  // with its own state afterwards.
  struct WalkScope {
    ExtractionWalk*& current;
    ExtractionWalk* const outer;
    ~WalkScope() { current = outer; }
  } scope{walk_, walk_};
  walk_ = &walk;
  size_t done = 0;
  try {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (!items_[i].selected) continue;
      for (;;) {
        try {
          // A walk started from a handler may have changed the selection under this one.
          if (!walk.ahead.empty() && walk.ahead.front().index != i) walk.DropAhead();
          if (operation == poExtract) LookAhead(i);
          if (!walk.ahead.empty() && walk.ahead.front().index == i) {
            ExtractPrepared(items_[i], double(done), selected);
          } else {
            ExtractEntry(items_[i], operation, double(done), selected);
          }
          break;
        } catch (const EArchiverError& error) {
          // The failure's handler may change anything the entries prepared ahead rest
          // on, and a folder may have gone since it was made: the walk looks again.
          walk.DropAhead();
          walk.folders.clear();
          const TFileFailureAction action = ReportFailure(ShownName(items_[i].name), operation, error);
          if (action == fxaRetry) continue;
          if (action == fxaAbort) throw Aborted{};
          break;
        }
      }
      ++done;
    }
  } catch (const Cancelled&) {
  } catch (const Aborted&) {
  }
  walk.DropAhead();
  FireOverall(100.0, operation, ppEnd);
}

void ZipArchiver::RequireFreeSpace() const {
  // Sizes come from the archive, so their sum saturates instead of wrapping.
  uint64_t needed = 0;
  for (const auto& item : items_) {
    if (!item.selected || item.IsFolder()) continue;
    needed = item.uncompressed_size > UINT64_MAX - needed ? UINT64_MAX : needed + item.uncompressed_size;
  }
  const std::string base = BaseFolder();
  const std::optional<uint64_t> free = FreeDiskSpace(base);
  if (free && needed > *free) {
    throw MakeError(kErrNotEnoughSpace, base,
                    std::to_string(needed) + " bytes needed, " + std::to_string(*free) + " free");
  }
}

ZipArchiver::EntryOutcome ZipArchiver::ExtractEntry(DirectoryItem& item, TProcessOperation operation,
                                                    double done, size_t selected) {
  const std::u16string shown = ShownName(item.name);
  if (OnConfirmProcessFile) {
    bool confirm = true;
    OnConfirmProcessFile(*this, shown, operation, confirm);
    if (!confirm) return EntryOutcome::kSkipped;
  }
  if (!FireFile(shown, 0.0, operation, ppStart)) throw Cancelled{};
  std::u16string name = item.name;
  uint32_t attributes = item.header.external_attributes;
  std::string comment = item.comment;
  if (OnExtractFile) OnExtractFile(*this, name, attributes, comment);
  return PlaceEntry(item, name, attributes, operation, done, selected);
}

ZipArchiver::EntryOutcome ZipArchiver::PlaceEntry(DirectoryItem& item, const std::u16string& name,
                                                  uint32_t attributes, TProcessOperation operation,
                                                  double done, size_t selected) {
  const std::u16string shown = ShownName(item.name);
  const auto relative = SafeRelativePath(name);
  const bool is_folder = IsFolderEntry(item, name);
  if (!relative || (relative->empty() && !is_folder)) {
    throw MakeError(kErrUnsafeName, Utf16ToUtf8(name));
  }

  if (operation == poTest) {
    if (!is_folder) {
      NullExtractSink sink;
      if (!Decompress(item, sink, operation, done, selected, shown)) throw Cancelled{};
    }
    if (!FireFile(shown, 100.0, operation, ppEnd)) throw Cancelled{};
    return EntryOutcome::kDone;
  }

  const std::string& base = walk_->base;
  std::string path = Utf16ToUtf8(*relative);
  std::replace(path.begin(), path.end(), '/', NativeSeparator());
  const size_t slash = path.rfind(NativeSeparator());
  if (Options.CreateDirs) {
    EnsureFolders(is_folder ? base + path : base + path.substr(0, slash + 1));
  } else if (slash != std::string::npos) {
    path.erase(0, slash + 1);
  }
  if (is_folder) {
    if (!FireFile(shown, 100.0, operation, ppEnd)) throw Cancelled{};
    return EntryOutcome::kDone;
  }
  // A link could point anywhere, and files extracted later would follow it.
  if (item.IsSymbolicLink()) throw MakeError(kErrLinkNotExtracted, Utf16ToUtf8(name));
  return ExtractFileData(item, base + path, attributes, operation, done, selected);
}

void ZipArchiver::EnsureFolders(const std::string& folders) {
  // Every missing folder from the target folder down to the entry's own.
  ExtractionWalk& walk = *walk_;
  if (walk.folders.contains(folders)) return;
  for (size_t at = 1; at <= folders.size(); ++at) {
    if (at != folders.size() && !IsNativeSeparator(folders[at])) continue;
    std::string folder = folders.substr(0, at);
    if (walk.folders.contains(folder)) continue;
    // Made ahead for this entry or a later one; from here on it is this entry's.
    bool existed = !walk.unclaimed.erase(folder);
    if (existed) {
      existed = !StageExtraction || QueryFile(folder).has_value();
      if (!CreateFolder(folder)) throw MakeError(kErrCannotCreateDir, folder);
    }
    if (!existed && StageExtraction) staged_->NoteCreatedFolder(folder);
    walk.folders.insert(std::move(folder));
  }
  walk.folders.insert(folders);
}

void ZipArchiver::LookAhead(size_t from) {
  ExtractionWalk& walk = *walk_;
  walk.next = std::max(walk.next, from);
  if (walk.blocked != SIZE_MAX && walk.blocked > from) return;
  walk.blocked = SIZE_MAX;
  while (walk.next < items_.size() && walk.ahead.size() < kAheadEntries && walk.ahead_bytes < kAheadBytes) {
    if (items_[walk.next].selected && !PrepareEntry(walk.next)) {
      walk.blocked = walk.next;
      return;
    }
    ++walk.next;
  }
}

// Only what comes out the same when decided now as when the walk reaches the entry is
// prepared: anything that asks the user, raises an error, streams a large entry with
// live progress, or meets a target another prepared entry writes waits for the walk.
bool ZipArchiver::PrepareEntry(size_t index) {
  ExtractionWalk& walk = *walk_;
  const DirectoryItem& item = items_[index];
  const auto relative = SafeRelativePath(item.name);
  const bool is_folder = IsFolderEntry(item, item.name);
  if (!relative || (relative->empty() && !is_folder)) return false;
  if (!is_folder && (item.IsSymbolicLink() || item.compressed_size > kWholeInflateLimit ||
                     item.uncompressed_size > kWholeInflateLimit)) {
    return false;
  }
  PreparedEntry prepared;
  prepared.index = index;
  prepared.options = DecisionOptionsOf(Options);
  std::string path = Utf16ToUtf8(*relative);
  std::replace(path.begin(), path.end(), '/', NativeSeparator());
  const size_t slash = path.rfind(NativeSeparator());
  if (Options.CreateDirs) {
    prepared.folders = is_folder ? walk.base + path : walk.base + path.substr(0, slash + 1);
    if (!walk.MakeFoldersAhead(prepared.folders)) return false;
  } else if (slash != std::string::npos) {
    path.erase(0, slash + 1);
  }
  if (!is_folder) {
    prepared.target = walk.base + path;
    if (walk.pending_targets.contains(prepared.target)) return false;
    const std::optional<FileStatus> existing = QueryFile(prepared.target);
    if (existing) {
      if (existing->is_dir) return false;
      if (!Options.ReplaceReadOnly && (existing->attributes & faReadOnly)) {
        prepared.skip = true;
      } else if (Options.OverwriteMode == omPrompt) {
        return false;
      } else {
        prepared.skip = !ConfirmOverwrite(item, prepared.target, *existing);
      }
    }
    if (!prepared.skip) {
      WriteAhead(item, prepared.target, existing);
      prepared.written = true;
      walk.ahead_bytes += item.uncompressed_size;
    }
    walk.pending_targets.insert(prepared.target);
  }
  walk.ahead.push_back(std::move(prepared));
  return true;
}

void ZipArchiver::WriteAhead(const DirectoryItem& item, const std::string& target,
                             const std::optional<FileStatus>& existing) {
  ExtractionWalk& walk = *walk_;
  ExtractJob job;
  job.item = item;
  job.folder = FolderOf(target);
  job.target = target;
  job.target_name = FileNameOf(target);
  if (walk.cleared.insert(job.folder).second) RemoveLeftovers(job.folder, {});
  if (Options.SetAttributes) {
    job.apply_attributes = true;
    job.attributes = item.header.external_attributes & 0xFFFF;
    job.unix_mode = PermissionsFor(item, item.header.external_attributes, existing);
  } else if (existing) {
    job.apply_attributes = true;
    job.unix_mode = existing->unix_mode;
  }
  job.mtime = FromDosDateTime(item.header.DosDateTime());
  if (!walk.unnamed_files) {
    // Files without names are made without locking their folder, so that the workers
    // create them side by side; naming them must work too, or none are made.
    NativeFile probe = NativeFile::CreateUnnamed(job.folder);
    walk.unnamed_files = probe.IsOpen() && TemporaryFile::Link(std::move(probe), job.folder, "probe");
  }
  if (!walk.pool) {
    walk.pool = std::make_unique<ParallelExtract>(file_, path_, directory_start_, *walk.unnamed_files);
  }
  walk.pool->Submit(std::move(job));
}

ZipArchiver::EntryOutcome ZipArchiver::ExtractPrepared(DirectoryItem& item, double done, size_t selected) {
  ExtractionWalk& walk = *walk_;
  const std::u16string shown = ShownName(item.name);
  if (OnConfirmProcessFile) {
    bool confirm = true;
    OnConfirmProcessFile(*this, shown, poExtract, confirm);
    if (!confirm) {
      walk.DropAhead();
      return EntryOutcome::kSkipped;
    }
  }
  if (!FireFile(shown, 0.0, poExtract, ppStart)) throw Cancelled{};
  std::u16string name = item.name;
  uint32_t attributes = item.header.external_attributes;
  std::string comment = item.comment;
  if (OnExtractFile) OnExtractFile(*this, name, attributes, comment);
  if (name != item.name || attributes != item.header.external_attributes ||
      !(walk.ahead.front().options == DecisionOptionsOf(Options))) {
    walk.DropAhead();
    return PlaceEntry(item, name, attributes, poExtract, done, selected);
  }
  const PreparedEntry prepared = std::move(walk.ahead.front());
  walk.ahead.pop_front();
  if (Options.CreateDirs) EnsureFolders(prepared.folders);
  if (prepared.target.empty()) {
    if (!FireFile(shown, 100.0, poExtract, ppEnd)) throw Cancelled{};
    return EntryOutcome::kDone;
  }
  if (!prepared.written) {
    walk.pending_targets.erase(prepared.target);
    return EntryOutcome::kSkipped;
  }
  ExtractedFile file = walk.pool->TakeNext();
  walk.ahead_bytes -= item.uncompressed_size;
  // The entry's progress as it would have come while it was written here.
  for (const uint64_t consumed : file.progress) {
    const double fraction = file.compressed ? double(consumed) / double(file.compressed) : 1.0;
    if (!FireFile(shown, fraction * 100.0, poExtract, ppProcess) ||
        !FireOverall(selected ? (fraction + done) / double(selected) * 100.0 : 100.0, poExtract,
                     ppProcess)) {
      throw Cancelled{};
    }
  }
  if (file.exception) std::rethrow_exception(file.exception);
  if (file.failure) throw MakeError(file.failure->code, file.failure->argument, file.failure->detail);
  if (!IsIntact(item, file.result) && !ExtractCorruptedFiles) {
    throw MakeError(kErrInvalidCheckSum);
  }
  PutInPlace(file, prepared.target);
  walk.pending_targets.erase(prepared.target);
  if (!FireFile(shown, 100.0, poExtract, ppEnd)) throw Cancelled{};
  return EntryOutcome::kDone;
}

void ZipArchiver::PutInPlace(ExtractedFile& file, const std::string& target) {
  std::unique_ptr<TemporaryFile> temporary = std::move(file.named);
  if (!temporary) {
    // A new target needs only its name; an existing one is replaced in one step.
    if (!StageExtraction && file.unnamed.LinkAs(target)) return;
    temporary = TemporaryFile::Link(std::move(file.unnamed), FolderOf(target), FileNameOf(target));
    if (!temporary) throw MakeError(kErrCannotCreateFile, target);
    temporary->file().Close();
  }
  if (StageExtraction) {
    staged_->Add(std::move(temporary), target);
    return;
  }
  if (!RenameReplacing(temporary->path(), target)) throw MakeError(kErrCannotCreateFile, target);
  temporary->Release();
}

ZipArchiver::EntryOutcome ZipArchiver::ExtractFileData(DirectoryItem& item, const std::string& target,
                                                       uint32_t attributes, TProcessOperation operation,
                                                       double done, size_t selected) {
  const std::u16string shown = ShownName(item.name);
  const std::optional<FileStatus> existing = QueryFile(target);
  if (existing) {
    if (existing->is_dir) throw MakeError(kErrCannotCreateFile, target);
    if (!Options.ReplaceReadOnly && (existing->attributes & faReadOnly)) return EntryOutcome::kSkipped;
    if (!ConfirmOverwrite(item, target, *existing)) return EntryOutcome::kSkipped;
  }
  // The data goes to a file beside the target, which replaces the target only when the
  // entry is complete and correct, so a failure never costs the previous file.
  const std::string folder = FolderOf(target);
  if (walk_->cleared.insert(folder).second) RemoveLeftovers(folder, {});
  auto temporary = std::make_unique<TemporaryFile>(folder, FileNameOf(target));
  NativeFile& output = temporary->file();
  if (!output.IsOpen()) throw MakeError(kErrCannotCreateFile, target, output.OpenError());
  FileExtractSink sink(output);
  try {
    if (!Decompress(item, sink, operation, done, selected, shown)) throw Cancelled{};
  } catch (const FileExtractSink::WriteFailed& failure) {
    throw MakeError(kErrCannotCreateFile, target, failure.detail);
  }
  if (Options.SetAttributes) {
    output.ApplyAttributes(attributes & 0xFFFF, PermissionsFor(item, attributes, existing));
  } else if (existing) {
    output.ApplyAttributes(0, existing->unix_mode);
  }
  output.SetModificationTime(FromDosDateTime(item.header.DosDateTime()));
  output.Close();
  if (StageExtraction) {
    staged_->Add(std::move(temporary), target);
  } else {
    if (!RenameReplacing(temporary->path(), target)) throw MakeError(kErrCannotCreateFile, target);
    temporary->Release();
  }
  if (!FireFile(shown, 100.0, operation, ppEnd)) throw Cancelled{};
  return EntryOutcome::kDone;
}

bool ZipArchiver::ConfirmOverwrite(const DirectoryItem& item, const std::string& target,
                                   const FileStatus& existing) {
  const uint32_t file_time = ToDosDateTime(existing.mtime);
  switch (Options.OverwriteMode) {
    case omAlways: return true;
    case omNever: return false;
    case omIfNewer: return item.header.DosDateTime() > file_time;
    case omIfOlder: return item.header.DosDateTime() < file_time;
    case omPrompt: break;
  }
  // Without a handler there is no one to ask, and keeping the file loses nothing.
  TOverwriteAnswer answer = oaNo;
  if (OnConfirmOverwrite) OnConfirmOverwrite(*this, Utf8ToUtf16(target), ShownName(item.name), answer);
  if (answer == oaYesToAll) Options.OverwriteMode = omAlways;
  if (answer == oaNoToAll) Options.OverwriteMode = omNever;
  return answer == oaYes || answer == oaYesToAll;
}

bool ZipArchiver::Decompress(DirectoryItem& item, ExtractSink& sink, TProcessOperation operation,
                             double done, size_t selected, const std::u16string& shown) {
  EntryData data;
  if (const auto failure = LocateEntryData(file_, path_, item, directory_start_, data)) {
    throw MakeError(failure->code, failure->argument, failure->detail);
  }
  const uint64_t compressed = data.size;
  const auto progress = [&](uint64_t consumed) {
    const double fraction = compressed ? double(consumed) / double(compressed) : 1.0;
    if (!FireFile(shown, fraction * 100.0, operation, ppProcess)) return false;
    return FireOverall(selected ? (fraction + done) / double(selected) * 100.0 : 100.0, operation,
                       ppProcess);
  };
  InflatedEntry result;
  try {
    result = walk_->inflater.Inflate(file_, data.offset, compressed, item.header.method,
                                     item.uncompressed_size, sink, progress);
  } catch (const NativeFileError& error) {
    throw MakeError(kErrCannotReadFile, path_, error.what());
  } catch (const CompressionError& error) {
    throw MakeError(kErrCompressionLibrary, path_, error.what());
  }
  if (result.cancelled) return false;
  if (!IsIntact(item, result) && !ExtractCorruptedFiles) throw MakeError(kErrInvalidCheckSum);
  return true;
}

}  // namespace kestrova
