// How many worker threads the parallel add and extraction start.
#pragma once

#include <cstddef>

namespace kestrova {

/// The number of workers for `asked` threads (0: one per core), at least one and at
/// most eight.
size_t WorkerCount(size_t asked);

}  // namespace kestrova
