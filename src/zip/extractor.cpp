// ZipArchiver: extracting and testing the entries FileMasks selects.
#include <algorithm>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "base/text.h"
#include "zip/archiver_lock.h"
#include "zip/entry_names.h"
#include "zip/inflate_stream.h"
#include "zip/local_header.h"
#include "zip/staged_files.h"
#include "zip/temporary_file.h"
#include "zip/wildcard.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr uint32_t kFolderLikeBits = faHidden | faSysFile | faVolumeID | faDirectory;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodDeflate64 = 9;

// Writes extracted bytes to the temporary file that later replaces the target. Its
// failures are told apart from those of reading the archive.
class FileExtractSink : public ExtractSink {
 public:
  explicit FileExtractSink(NativeFile& file) : file_(file) {}
  void Write(const void* data, size_t size) override {
    size_t written = 0;
    try {
      written = file_.WriteAt(position_, data, size);
    } catch (const NativeFileError& error) {
      throw WriteFailed{error.what()};
    }
    if (written != size) throw WriteFailed{"The disk is full"};
    position_ += size;
  }
  struct WriteFailed {
    std::string detail;
  };

 private:
  NativeFile& file_;
  uint64_t position_ = 0;
};

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

std::u16string ShownName(std::u16string name) {
  if (kNativeSeparator != '/') std::replace(name.begin(), name.end(), u'/', u'\\');
  return name;
}

}  // namespace

// Thousands of entries share their folders and their inflate buffers; working these out
// once per walk spares a system call for every folder level of every entry.
struct ExtractionWalk {
  EntryInflater inflater;
  std::string base;
  std::unordered_set<std::string> folders;  // known to exist, created or found this walk
  std::unordered_set<std::string> cleared;  // leftovers of killed runs removed this walk
};

void ZipArchiver::ExtractMatching() { WalkSelected(poExtract); }

void ZipArchiver::TestMatching() { WalkSelected(poTest); }

void ZipArchiver::CommitStagedFiles() {
  if (const auto failed = staged_->Commit()) throw MakeError(kErrCannotCreateFile, *failed);
}

void ZipArchiver::DiscardStagedFiles() { staged_->Discard(); }

size_t ZipArchiver::StagedCount() const { return staged_->Count(); }

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
          ExtractEntry(items_[i], operation, double(done), selected);
          break;
        } catch (const EArchiverError& error) {
          // A folder may have gone since it was made; the next attempt looks again.
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

  const auto relative = SafeRelativePath(name);
  const bool is_folder =
      item.IsFolder() || (!name.empty() && (name.back() == u'/' || name.back() == u'\\'));
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
  std::replace(path.begin(), path.end(), '/', kNativeSeparator);
  const size_t slash = path.rfind(kNativeSeparator);
  if (Options.CreateDirs) {
    // Every missing folder from the target folder down to the entry's own.
    const std::string folders = is_folder ? base + path : base + path.substr(0, slash + 1);
    if (!walk_->folders.contains(folders)) {
      for (size_t at = 1; at <= folders.size(); ++at) {
        if (at != folders.size() && !IsNativeSeparator(folders[at])) continue;
        std::string folder = folders.substr(0, at);
        if (walk_->folders.contains(folder)) continue;
        const bool existed = !StageExtraction || QueryFile(folder).has_value();
        if (!CreateFolder(folder)) throw MakeError(kErrCannotCreateDir, folder);
        if (!existed) staged_->NoteCreatedFolder(folder);
        walk_->folders.insert(std::move(folder));
      }
      walk_->folders.insert(folders);
    }
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
  const uint16_t method = item.header.method;
  if (method == kMethodDeflate64) throw MakeError(kErrDeflate64);
  if ((method != kMethodStored && method != kMethodDeflated) ||
      (item.header.flags & kFlagEncrypted)) {
    throw MakeError(kErrInvalidCheckSum);
  }
  // Offsets and sizes come from the archive: each sum is checked against the room
  // left, so none can wrap around and point back into the file.
  if (item.local_header_offset > directory_start_ ||
      directory_start_ - item.local_header_offset < kLocalHeaderSize) {
    throw MakeError(kErrInvalidCheckSum);
  }
  unsigned char fixed[kLocalHeaderSize];
  const bool complete = ReadArchive(item.local_header_offset, fixed, sizeof fixed) == sizeof fixed;
  const auto local = complete ? DecodeLocalHeader(fixed) : std::nullopt;
  if (!local) throw MakeError(kErrInvalidCheckSum);

  const uint64_t data_offset = item.local_header_offset + local->DataOffset();
  const uint64_t room = data_offset < directory_start_ ? directory_start_ - data_offset : 0;
  const uint64_t compressed = std::min(item.compressed_size, room);
  const auto progress = [&](uint64_t consumed) {
    const double fraction = compressed ? double(consumed) / double(compressed) : 1.0;
    if (!FireFile(shown, fraction * 100.0, operation, ppProcess)) return false;
    return FireOverall(selected ? (fraction + done) / double(selected) * 100.0 : 100.0, operation,
                       ppProcess);
  };
  InflatedEntry result;
  try {
    result = walk_->inflater.Inflate(file_, data_offset, compressed, method,
                                     item.uncompressed_size, sink, progress);
  } catch (const NativeFileError& error) {
    throw MakeError(kErrCannotReadFile, path_, error.what());
  } catch (const CompressionError& error) {
    throw MakeError(kErrCompressionLibrary, path_, error.what());
  }
  if (result.cancelled) return false;
  const bool good = !result.overrun && !result.damaged && result.produced == item.uncompressed_size &&
                    result.crc32 == item.header.crc32;
  if (!good && !ExtractCorruptedFiles) throw MakeError(kErrInvalidCheckSum);
  return true;
}

}  // namespace kestrova
