// The one lock all archivers share while they select files or walk entries.
#pragma once

#include <mutex>

namespace kestrova {

std::recursive_mutex& ArchiverLock();

}  // namespace kestrova
