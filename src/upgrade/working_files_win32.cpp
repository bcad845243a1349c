#include "base/files.h"
#include "upgrade/working_files.h"

namespace kestrova {

// Windows gives every user a temporary folder of their own, in their profile.
std::string PrivateWorkingFolder() { return TemporaryDirectory(); }

}  // namespace kestrova
