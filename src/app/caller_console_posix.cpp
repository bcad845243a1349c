#include "app/caller_console.h"

namespace kestrova {

// Every program keeps the terminal it was started from.
void UseCallersConsole() {}

}  // namespace kestrova
