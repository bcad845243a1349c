// Starting the updater's replacement script needs the script itself, in the
// language of the system's command interpreter.
#pragma once

#include <string>

#include "upgrade/self_replacement.h"

namespace kestrova {

/// The file name of the replacement script in the application folder.
const char* ReplacementScriptName();

/// The replacement script for the files that are present: wait until the updater's
/// process is gone, move each new file over its old one (the executable keeping the
/// permissions of the one it replaces), restart the updater when asked, delete the
/// script. Every name is quoted for the interpreter. Empty when the interpreter could
/// not be given the names (a name its code page cannot write): nothing may run then.
std::string ReplacementScript(const TReplacementRequest& request, bool new_executable,
                              bool new_configuration);

}  // namespace kestrova
