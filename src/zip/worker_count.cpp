#include "zip/worker_count.h"

#include <algorithm>
#include <thread>

namespace kestrova {

namespace {
constexpr size_t kMaxWorkers = 8;
}  // namespace

size_t WorkerCount(size_t asked) {
  const size_t cores = std::max<size_t>(std::thread::hardware_concurrency(), 1);
  return std::clamp<size_t>(asked ? asked : cores, 1, kMaxWorkers);
}

}  // namespace kestrova
