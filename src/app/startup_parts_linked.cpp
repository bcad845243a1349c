// The parts linked into the program: the Windows program is one static .exe.
#include "app/startup_parts.h"

namespace kestrova {

const TCheckPart* LoadCheckPart() { return kestrova_check_part(); }
const TWindowsPart* LoadWindowsPart() { return kestrova_windows_part(); }

}  // namespace kestrova
