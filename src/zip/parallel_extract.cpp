#include "zip/parallel_extract.h"

#include <algorithm>

#include "zip/archiver_error.h"
#include "zip/deflate_stream.h"
#include "zip/worker_count.h"

namespace kestrova {

ParallelExtract::ParallelExtract(const NativeFile& archive, std::string archive_path,
                                 uint64_t directory_start, bool unnamed_files, size_t threads)
    : archive_(archive.Duplicate()),
      archive_path_(std::move(archive_path)),
      directory_start_(directory_start),
      unnamed_files_(unnamed_files) {
  const size_t count = WorkerCount(threads);
  for (size_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

ParallelExtract::~ParallelExtract() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  workers_.clear();
}

void ParallelExtract::Submit(ExtractJob job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back({std::move(job), std::nullopt});
    ++unclaimed_;
  }
  work_.notify_one();
}

ExtractedFile ParallelExtract::TakeNext() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return slots_.front().result.has_value(); });
  ExtractedFile file = std::move(*slots_.front().result);
  slots_.pop_front();
  return file;
}

void ParallelExtract::Work() {
  std::unique_ptr<EntryInflater> inflater;
  std::exception_ptr inflater_failure;
  try {
    inflater = std::make_unique<EntryInflater>();
  } catch (...) {
    inflater_failure = std::current_exception();
  }
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_.wait(lock, [&] { return stop_ || unclaimed_ > 0; });
    if (stop_) return;
    // Slots stay where they are while the caller only adds at the back and takes
    // finished ones from the front.
    Slot& slot = slots_[slots_.size() - unclaimed_--];
    lock.unlock();

    ExtractedFile file;
    if (inflater_failure) {
      file.exception = inflater_failure;
    } else {
      try {
        file = Run(slot.job, *inflater);
      } catch (...) {
        file = ExtractedFile{};
        file.exception = std::current_exception();
      }
    }

    lock.lock();
    slot.result = std::move(file);
    ready_.notify_all();
  }
}

ExtractedFile ParallelExtract::Run(const ExtractJob& job, EntryInflater& inflater) const {
  ExtractedFile out;
  if (unnamed_files_) out.unnamed = NativeFile::CreateUnnamed(job.folder);
  NativeFile* file = &out.unnamed;
  if (!out.unnamed.IsOpen()) {
    out.named = std::make_unique<TemporaryFile>(job.folder, job.target_name);
    if (!out.named->file().IsOpen()) {
      out.failure = EntryFailure{kErrCannotCreateFile, job.target, out.named->file().OpenError()};
      out.named.reset();
      return out;
    }
    file = &out.named->file();
  }
  EntryData data;
  if ((out.failure = LocateEntryData(archive_, archive_path_, job.item, directory_start_, data))) {
    return out;
  }
  out.compressed = data.size;
  FileExtractSink sink(*file);
  const auto note_progress = [&out](uint64_t consumed) {
    out.progress.push_back(consumed);
    return true;
  };
  try {
    out.result = inflater.Inflate(archive_, data.offset, data.size, job.item.header.method,
                                  job.item.uncompressed_size, sink, note_progress);
  } catch (const FileExtractSink::WriteFailed& failure) {
    out.failure = EntryFailure{kErrCannotCreateFile, job.target, failure.detail};
    return out;
  } catch (const NativeFileError& error) {
    out.failure = EntryFailure{kErrCannotReadFile, archive_path_, error.what()};
    return out;
  } catch (const CompressionError& error) {
    out.failure = EntryFailure{kErrCompressionLibrary, archive_path_, error.what()};
    return out;
  }
  if (job.apply_attributes) file->ApplyAttributes(job.attributes, job.unix_mode);
  file->SetModificationTime(job.mtime);
  if (out.named) file->Close();
  return out;
}

}  // namespace kestrova
