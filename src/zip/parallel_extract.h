// Writing the entries of an extraction into new files on a small pool of worker threads,
// ahead of the thread that puts them in place and reports them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/native_file.h"
#include "zip/directory_item.h"
#include "zip/entry_data.h"
#include "zip/inflate_stream.h"
#include "zip/temporary_file.h"

namespace kestrova {

/// One entry to write into a new file in `folder`, standing in for `target`.
struct ExtractJob {
  DirectoryItem item;
  std::string folder;
  std::string target;
  std::string target_name;
  bool apply_attributes = false;
  uint32_t attributes = 0;
  uint32_t unix_mode = 0;
  int64_t mtime = 0;
};

/// A written entry: its file, not yet in place, and everything the thread that reports
/// it needs to tell the entry's story as if it had been written there.
struct ExtractedFile {
  NativeFile unnamed;                       // open, without a name; or
  std::unique_ptr<TemporaryFile> named;     // closed, beside the target
  InflatedEntry result;
  std::vector<uint64_t> progress;           // compressed bytes consumed at each progress point
  uint64_t compressed = 0;                  // the data's size those points count against
  std::optional<EntryFailure> failure;      // an archiver error, raised where it is reported
  std::exception_ptr exception;             // any other failure, passed on there
};

/// Writes jobs on worker threads, started in the order they were handed in, and hands
/// the results back in that order, so that events, failures and the files' naming stay
/// in entry order on the calling thread. Results not taken when the object goes are
/// dropped with their files; the workers are joined.
class ParallelExtract {
 public:
  /// `archive` is read through a handle of the pool's own; `unnamed_files` says whether
  /// the target's file system makes files without names (NativeFile::CreateUnnamed),
  /// which are created without locking the folder. `threads` 0 means one per core.
  ParallelExtract(const NativeFile& archive, std::string archive_path, uint64_t directory_start,
                  bool unnamed_files, size_t threads = 0);
  ~ParallelExtract();
  ParallelExtract(const ParallelExtract&) = delete;
  ParallelExtract& operator=(const ParallelExtract&) = delete;

  void Submit(ExtractJob job);
  /// Waits for the oldest job not yet taken and hands its result over.
  ExtractedFile TakeNext();

 private:
  struct Slot {
    ExtractJob job;
    std::optional<ExtractedFile> result;
  };
  void Work();
  ExtractedFile Run(const ExtractJob& job, EntryInflater& inflater) const;

  NativeFile archive_;
  std::string archive_path_;
  uint64_t directory_start_;
  bool unnamed_files_;

  std::mutex mutex_;
  std::condition_variable work_;   // workers wait for a job
  std::condition_variable ready_;  // the caller waits for its result
  std::deque<Slot> slots_;         // submitted and not taken, oldest first
  size_t unclaimed_ = 0;           // slots no worker has started
  bool stop_ = false;
  std::vector<std::jthread> workers_;  // last: joined before the rest goes
};

}  // namespace kestrova
