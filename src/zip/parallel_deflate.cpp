#include "zip/parallel_deflate.h"

#include <algorithm>
#include <new>

#include "base/native_file.h"
#include "zip/crc32.h"
#include "zip/deflate_stream.h"
#include "zip/whole_deflate.h"
#include "zip/worker_count.h"

namespace kestrova {
namespace {

constexpr size_t kExcessBuffer = 64 << 10;

// Reads until `size` bytes are in or the file ends; NativeFileError passes on.
size_t ReadFully(const NativeFile& file, uint64_t offset, unsigned char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t n = file.ReadAt(offset + done, buffer + done, size - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Bytes the file holds beyond `end`: a file that grew since it was found.
uint64_t CountExcess(const NativeFile& file, uint64_t end) {
  std::vector<unsigned char> scratch(kExcessBuffer);
  uint64_t excess = 0;
  while (const size_t n = file.ReadAt(end + excess, scratch.data(), scratch.size())) excess += n;
  return excess;
}

DeflatedPiece Failed(DeflatedPiece::Failure failure, std::string detail) {
  DeflatedPiece piece;
  piece.failure = failure;
  piece.detail = std::move(detail);
  return piece;
}

}  // namespace

ParallelDeflate::ParallelDeflate(std::vector<DeflateJob> jobs, size_t threads, size_t memory_budget)
    : jobs_(std::move(jobs)), job_states_(jobs_.size()), memory_budget_(memory_budget) {
  for (size_t j = 0; j < jobs_.size(); ++j) {
    const DeflateJob& job = jobs_[j];
    JobState& state = job_states_[j];
    state.first_task = tasks_.size();
    if (job.size <= kWholeLimit || job.level <= 0) {
      tasks_.push_back({j, 0, job.size, true, true, true});
    } else {
      const uint64_t block = DeflateChunkSize(job.level, job.size);
      for (uint64_t offset = 0; offset < job.size; offset += block) {
        tasks_.push_back({j, offset, std::min(block, job.size - offset), offset == 0,
                          offset + block >= job.size, false});
      }
    }
    state.task_count = tasks_.size() - state.first_task;
  }
  done_.resize(tasks_.size());
  const size_t count = std::min(WorkerCount(threads), tasks_.size());
  for (size_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

ParallelDeflate::~ParallelDeflate() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  workers_.clear();
}

size_t ParallelDeflate::PieceCount(size_t job) const { return job_states_.at(job).task_count; }

std::optional<DeflatedPiece> ParallelDeflate::Take(size_t job) {
  std::unique_lock<std::mutex> lock(mutex_);
  const JobState& state = job_states_.at(job);
  DropBefore(state.first_task);
  if (taken_ >= state.first_task + state.task_count) return std::nullopt;
  const size_t t = taken_;
  ready_.wait(lock, [&] { return done_[t].has_value(); });
  std::optional<DeflatedPiece> piece = std::move(done_[t]);
  done_[t].reset();
  ++taken_;
  reserved_ -= MemoryFor(tasks_[t]);
  room_.notify_all();
  return piece;
}

void ParallelDeflate::Skip(size_t job) {
  std::lock_guard<std::mutex> lock(mutex_);
  const JobState& state = job_states_.at(job);
  DropBefore(state.first_task + state.task_count);
}

void ParallelDeflate::DropBefore(size_t end) {
  if (taken_ >= end) return;
  // What is done goes now, what runs goes when it ends, what is unclaimed never starts.
  for (size_t t = taken_; t < end; ++t) {
    if (!done_[t]) continue;
    done_[t].reset();
    reserved_ -= MemoryFor(tasks_[t]);
  }
  taken_ = end;
  room_.notify_all();
}

size_t ParallelDeflate::MemoryFor(const Task& task) const {
  const size_t length = static_cast<size_t>(task.length);
  return task.whole ? 2 * length : 2 * length + kDeflateWindow + 1024;
}

bool ParallelDeflate::MayClaim() const {
  if (next_task_ >= tasks_.size() || next_task_ < taken_ || reserved_ == 0) return true;
  return reserved_ + MemoryFor(tasks_[next_task_]) <= memory_budget_;
}

std::shared_ptr<const NativeFile> ParallelDeflate::FileFor(const Task& task, std::string& open_error) {
  JobState& state = job_states_[task.job];
  if (task.first) {
    auto file = std::make_shared<NativeFile>(NativeFile::OpenForReading(jobs_[task.job].path));
    if (file->IsOpen()) {
      file->AdviseSequential();
      state.file = std::move(file);
    } else {
      state.open_error = file->OpenError();
    }
  }
  std::shared_ptr<const NativeFile> file = state.file;
  open_error = state.open_error;
  if (task.last) state.file.reset();  // the blocks under way keep it open
  return file;
}

void ParallelDeflate::Work() {
  WholeDeflater deflater;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return stop_ || MayClaim(); });
    if (stop_ || next_task_ >= tasks_.size()) return;
    const size_t t = next_task_++;
    if (t < taken_) continue;
    const Task task = tasks_[t];
    reserved_ += MemoryFor(task);
    std::shared_ptr<const NativeFile> file;
    std::string open_error;
    if (!task.whole) file = FileFor(task, open_error);
    lock.unlock();

    DeflatedPiece piece;
    try {
      if (task.whole) {
        piece = RunWhole(task, deflater);
      } else if (!file) {
        piece = Failed(DeflatedPiece::Failure::kCannotOpen, open_error);
      } else {
        piece = RunBlock(task, *file, deflater);
      }
    } catch (const NativeFileError& error) {
      piece = Failed(DeflatedPiece::Failure::kCannotRead, error.what());
    } catch (const std::bad_alloc&) {
      piece = Failed(DeflatedPiece::Failure::kCompression, "Out of memory");
    } catch (const std::exception& error) {
      piece = Failed(DeflatedPiece::Failure::kCompression, error.what());
    }
    file.reset();

    lock.lock();
    if (t < taken_) {
      reserved_ -= MemoryFor(task);
      room_.notify_all();
    } else {
      done_[t] = std::move(piece);
      ready_.notify_all();
    }
  }
}

DeflatedPiece ParallelDeflate::RunWhole(const Task& task, WholeDeflater& deflater) {
  const DeflateJob& job = jobs_[task.job];
  NativeFile file = NativeFile::OpenForReading(job.path);
  if (!file.IsOpen()) return Failed(DeflatedPiece::Failure::kCannotOpen, file.OpenError());
  DeflatedPiece piece;
  std::vector<unsigned char> in(static_cast<size_t>(job.size));
  const size_t got = ReadFully(file, 0, in.data(), in.size());
  piece.source_bytes = got + (got == in.size() ? CountExcess(file, got) : 0);
  if (piece.source_bytes != job.size) return piece;  // the caller reports the change
  piece.crc32 = Crc32Of(in.data(), in.size());
  if (job.level > 0 && in.size() > 1) {
    // Deflated data must be smaller than its source to be worth keeping.
    std::vector<unsigned char> out(in.size() - 1);
    if (const size_t n = deflater.Compress(job.level, in.data(), in.size(), out.data(), out.size())) {
      out.resize(n);
      piece.data = std::move(out);
      piece.method = 8;
      return piece;
    }
  }
  piece.method = 0;
  piece.data = std::move(in);
  return piece;
}

DeflatedPiece ParallelDeflate::RunBlock(const Task& task, const NativeFile& file,
                                        WholeDeflater& deflater) {
  const DeflateJob& job = jobs_[task.job];
  DeflatedPiece piece;
  const size_t history_length =
      static_cast<size_t>(std::min<uint64_t>(PieceHistoryLength(), task.offset));
  std::vector<unsigned char> history(history_length);
  history.resize(ReadFully(file, task.offset - history_length, history.data(), history.size()));
  piece.source.resize(static_cast<size_t>(task.length));
  piece.source.resize(ReadFully(file, task.offset, piece.source.data(), piece.source.size()));
  piece.source_bytes = piece.source.size();
  if (task.last && piece.source.size() == task.length) {
    piece.source_bytes += CountExcess(file, task.offset + task.length);
  }
  piece.checked_bytes = piece.source.size();
  piece.crc32 = Crc32Of(piece.source.data(), piece.source.size());
  piece.data = deflater.CompressPiece(job.level, history, piece.source, task.last);
  // Only the first piece's source is asked for again, when the file is stored instead.
  if (!task.first) piece.source = {};
  return piece;
}

}  // namespace kestrova
