// Compressing the files of a commit ahead of the thread that writes them, on a small
// pool of worker threads, with a bound on the memory the finished work may hold.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrova {

class NativeFile;
class WholeDeflater;

/// One source file to compress.
struct DeflateJob {
  std::string path;
  uint64_t size = 0;  // expected; a file that has changed shows in the bytes read
  int level = 0;      // 0 stores
};

/// A piece of an entry's data, ready to be appended. A file up to
/// ParallelDeflate::kWholeLimit is one piece, compressed whole; a larger one is cut into
/// blocks of DeflateChunkSize bytes, deflated on every core, that join into one deflate
/// stream.
struct DeflatedPiece {
  enum class Failure { kNone, kCannotOpen, kCannotRead, kCompression };
  Failure failure = Failure::kNone;
  std::string detail;                // the system's or the library's words
  uint16_t method = 8;               // of a whole piece: 0 stored, 8 deflated
  std::vector<unsigned char> data;   // the bytes to append
  std::vector<unsigned char> source; // of a first block: its source bytes, to store them
  uint64_t source_bytes = 0;         // read for this piece; the last also counts any excess
  size_t checked_bytes = 0;          // of a block: the source bytes its CRC-32 covers
  uint32_t crc32 = 0;                // of the piece's source bytes
};

/// Compresses jobs on worker threads in job order while the caller takes the pieces in
/// the same order, so that the archive, its events and its failures stay in entry
/// order on the calling thread. Work not taken when the object goes is dropped; the
/// workers are joined.
class ParallelDeflate {
 public:
  /// Files up to this size are compressed whole, with the fastest library the build has.
  static constexpr uint64_t kWholeLimit = 8 << 20;

  /// `threads` 0 means one per core; `memory_budget` bounds the buffers of work done
  /// or under way and not yet taken (one piece larger than it still runs, alone).
  explicit ParallelDeflate(std::vector<DeflateJob> jobs, size_t threads = 0,
                           size_t memory_budget = 32 << 20);
  ~ParallelDeflate();
  ParallelDeflate(const ParallelDeflate&) = delete;
  ParallelDeflate& operator=(const ParallelDeflate&) = delete;

  /// How many pieces job `job` comes in.
  size_t PieceCount(size_t job) const;
  /// Waits for the next piece of `job` and hands it over, dropping what is left of
  /// earlier jobs. Nothing when all of the job's pieces were taken.
  std::optional<DeflatedPiece> Take(size_t job);
  /// Drops what is left of `job` and of the jobs before it.
  void Skip(size_t job);

 private:
  struct Task {
    size_t job;
    uint64_t offset;
    uint64_t length;
    bool first;
    bool last;
    bool whole;
  };
  struct JobState {
    size_t first_task = 0;
    size_t task_count = 0;
    std::shared_ptr<const NativeFile> file;  // shared by the blocks of a cut file
    std::string open_error;
  };

  /// Drops the work of the tasks below `end` not yet taken; the lock is held.
  void DropBefore(size_t end);
  void Work();
  size_t MemoryFor(const Task& task) const;
  bool MayClaim() const;
  std::shared_ptr<const NativeFile> FileFor(const Task& task, std::string& open_error);
  DeflatedPiece RunWhole(const Task& task, WholeDeflater& deflater);
  DeflatedPiece RunBlock(const Task& task, const NativeFile& file, WholeDeflater& deflater);

  std::vector<DeflateJob> jobs_;
  std::vector<JobState> job_states_;
  std::vector<Task> tasks_;
  std::vector<std::optional<DeflatedPiece>> done_;
  size_t memory_budget_;

  mutable std::mutex mutex_;
  std::condition_variable room_;   // workers wait for memory or work
  std::condition_variable ready_;  // the caller waits for its piece
  size_t next_task_ = 0;           // the next to claim
  size_t taken_ = 0;               // tasks below are taken or dropped
  size_t reserved_ = 0;            // bytes of claimed tasks not yet taken
  bool stop_ = false;
  std::vector<std::jthread> workers_;  // last: joined before the rest goes
};

}  // namespace kestrova
