// The parts linked into the program: the Windows program is one static .exe.
#include "app/startup_parts.h"

namespace kestrova {

// The windows part asks the system itself.
bool MayShowWindows() { return true; }

const TCheckPart* LoadCheckPart() { return kestrova_check_part(); }
const TWindowsPart* LoadWindowsPart() { return kestrova_windows_part(); }

}  // namespace kestrova
